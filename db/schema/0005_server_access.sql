-- Application-server access: one token per workstation, kept only as the SHA-256 of the
-- token (hex), so a copy of the database lets no one call the server. The name is what the
-- log and the metrics show.
CREATE TABLE IF NOT EXISTS KVEACESSO (
  NMACESSO      VARCHAR(40)  NOT NULL PRIMARY KEY,
  DSHASHACESSO  VARCHAR(64)  NOT NULL UNIQUE,
  DTCRIACAO     TIMESTAMP    NOT NULL
);

-- InsHistPalm calls already served, by the client's idempotency key: written in the history
-- row's transaction, so a retried call finds its first answer (rebuilt from the stored stamp)
-- instead of writing a second row. DSHASHARGS (SHA-256 of the arguments) tells a true retry
-- from another call that reuses the key.
CREATE TABLE IF NOT EXISTS KVECHAMADA (
  CDCHAVE       VARCHAR(128) NOT NULL PRIMARY KEY,
  DSHASHARGS    VARCHAR(64)  NOT NULL,
  DTHISTPALM    TIMESTAMP    NOT NULL,
  DTCHAMADA     TIMESTAMP    NOT NULL
);
