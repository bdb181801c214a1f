-- The branches of the export (the aggregated branches of the list, not the central).
SELECT F.CDFILIAL, F.NMFILIAL, F.CDFILCENTKVE AS CDFILCENT, F.IDBLOQNFSAF
  FROM FILIAL F
 WHERE F.CDFILIAL IN (:P_LISTAAGREG)
 ORDER BY F.CDFILIAL
