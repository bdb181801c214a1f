-- The export's branches with the product-tree groups each uses (a branch without any still
-- has one row) and its AF-block flag.
SELECT F.CDFILIAL, FA.CDARVPROD, F.IDBLOQNFSAF
  FROM FILIAL F
  LEFT JOIN FILIARVPROD FA ON FA.CDFILIAL = F.CDFILIAL
 WHERE F.CDFILIAL IN (:P_LISTAAGREG)
 ORDER BY F.CDFILIAL, FA.CDARVPROD
