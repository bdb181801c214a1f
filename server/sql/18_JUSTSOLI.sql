-- Purchase-request justifications.
SELECT J.DSJUSTSOL
  FROM JUSTSOLI J
 ORDER BY J.CDJUSTSOLI
