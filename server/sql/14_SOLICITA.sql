-- Purchase requests of the export's branches with an item due in the purchase-request range.
SELECT S.NRSOLICOMP, S.CDFILSOLI, S.CDFILLAN
  FROM SOLICITA S
 WHERE S.CDFILLAN = :P_CDFILIAL
   AND S.CDFILSOLI IN (:P_LISTAAGREG)
   AND EXISTS (SELECT 1
                 FROM SOLICOMP SC
                WHERE SC.CDFILLAN = S.CDFILLAN
                  AND SC.NRSOLICMP = S.NRSOLICOMP
                  AND SC.DTPROGENTR >= :P_DTSOLIINI
                  AND SC.DTPROGENTR < :P_DTSOLILIM)
 ORDER BY S.CDFILSOLI, S.NRSOLICOMP
