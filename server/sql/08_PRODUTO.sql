-- Products, narrowed by the request's product filter: active only (P_IDSTATUS 'A'), one
-- product grouping (P_CDGRUPPROD, '' for none), and the products asked for in the latest
-- P_NRSOLIC purchase requests of the export's branches (0 for no such limit).
-- CDPSQPROD is laid out again by the workstation with its own product mask.
SELECT P.CDPRODUTO, P.CDARVPROD, P.CDPSQPROD, P.NMPRODUTO, P.SGUNIDADE
  FROM PRODUTO P
 WHERE (:P_IDSTATUS = 'T' OR P.IDATIVOPROD <> 'N')
   AND (:P_CDGRUPPROD = ''
        OR P.CDPRODUTO IN (SELECT PA.CDPRODUTO
                             FROM PRODAGRUP PA
                            WHERE PA.CDGRUPPROD = :P_CDGRUPPROD))
   AND (:P_NRSOLIC = 0
        OR P.CDPRODUTO IN (SELECT SC.CDPRODUTO
                             FROM SOLICOMP SC
                             JOIN (SELECT S.CDFILLAN, S.NRSOLICOMP
                                     FROM SOLICITA S
                                    WHERE S.CDFILLAN = :P_CDFILIAL
                                      AND S.CDFILSOLI IN (:P_LISTAAGREG)
                                    ORDER BY S.DTSOLICOMP DESC, S.NRSOLICOMP DESC
                                    LIMIT :P_NRSOLIC) UL
                               ON UL.CDFILLAN = SC.CDFILLAN AND UL.NRSOLICOMP = SC.NRSOLICMP))
 ORDER BY P.CDARVPROD, P.CDPRODUTO
