-- Services of the export's branches that have withdrawal forecasts in the menu range.
SELECT S.CDFILIAL, S.CDSERVFILI, S.NMSERVICO
  FROM SERVICO S
 WHERE S.CDFILIAL IN (:P_LISTAAGREG)
   AND EXISTS (SELECT 1
                 FROM PREVRETI R
                WHERE R.CDFILIAL = S.CDFILIAL
                  AND R.CDSERVFILI = S.CDSERVFILI
                  AND R.DTPREVRETI >= :P_DTCARDINI
                  AND R.DTPREVRETI < :P_DTCARDLIM)
 ORDER BY S.CDFILIAL, S.CDSERVFILI
