-- Device history: one row per export or import of a device. NRSEQHISTPALM orders rows
-- written within the same second.
CREATE TABLE IF NOT EXISTS HISTPALM (
  NRSEQHISTPALM  INTEGER PRIMARY KEY AUTOINCREMENT,
  CDFILIAL       VARCHAR(4)   NOT NULL,
  CDPALM         VARCHAR(3)   NOT NULL,
  DTHISTPALM     TIMESTAMP    NOT NULL,  -- the server's time
  IDHISTPALM     VARCHAR(1)   NOT NULL,  -- '0' export, '1' import
  IDERROPALM     VARCHAR(1)   NOT NULL,  -- '0' completed, '1' failed
  DSHISTPALM     VARCHAR(255)
);
CREATE INDEX IF NOT EXISTS IX_HISTPALM_DEVICE ON HISTPALM (CDFILIAL, CDPALM, NRSEQHISTPALM);
