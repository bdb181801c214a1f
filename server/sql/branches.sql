-- The aggregated branches of the central: they fill an empty branch list, and a given list
-- is narrowed to them.
SELECT CDFILIAL
  FROM FILIAL
 WHERE IDFILCENTKVE = 'N'
   AND CDFILCENTKVE = :P_CDFILIAL
 ORDER BY CDFILIAL
