-- Every supplier: the device records incoming invoices from any of them.
-- NRMSKFORN is filled by the workstation (registration number laid into its mask).
SELECT F.CDFORNECED, CAST(NULL AS VARCHAR(20)) AS NRMSKFORN, F.NRINSJURFO, F.NMRAZSOCFO
  FROM FORNECED F
 ORDER BY F.CDFORNECED
