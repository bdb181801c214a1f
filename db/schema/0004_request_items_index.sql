-- The request items by request with their delivery dates and status: the dates the export
-- lists per branch (and whether a request has an item due in the range) are read from this
-- index alone, without visiting the items' rows.
CREATE INDEX IF NOT EXISTS IX_SOLICOMP_ENTREGA ON SOLICOMP (CDFILLAN, NRSOLICMP, DTPROGENTR, STDATASOLI);
