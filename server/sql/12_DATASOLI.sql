-- Planned delivery dates of the purchase requests of the export's branches in the
-- purchase-request range, one row per branch and date, with the least status of its items.
-- The items are first reduced to one row per request and date (read from the index
-- IX_SOLICOMP_ENTREGA alone), so only those rows meet the requests.
SELECT S.CDFILSOLI, SC.DTPROGENTR, MIN(SC.STDATASOLI) AS STDATASOLI
  FROM SOLICITA S
  JOIN (SELECT I.CDFILLAN, I.NRSOLICMP, I.DTPROGENTR, MIN(I.STDATASOLI) AS STDATASOLI
          FROM SOLICOMP I
         WHERE I.CDFILLAN = :P_CDFILIAL
           AND I.DTPROGENTR >= :P_DTSOLIINI
           AND I.DTPROGENTR < :P_DTSOLILIM
         GROUP BY I.CDFILLAN, I.NRSOLICMP, I.DTPROGENTR) SC
    ON SC.CDFILLAN = S.CDFILLAN AND SC.NRSOLICMP = S.NRSOLICOMP
 WHERE S.CDFILLAN = :P_CDFILIAL
   AND S.CDFILSOLI IN (:P_LISTAAGREG)
 GROUP BY S.CDFILSOLI, SC.DTPROGENTR
 ORDER BY S.CDFILSOLI, SC.DTPROGENTR
