-- Host tables: read directly by the export screen's look-ups and validations.
-- Codes are VARCHAR, never CHAR, so that both engines return them unpadded.

CREATE TABLE IF NOT EXISTS FILIAL (
  CDFILIAL      VARCHAR(4)  NOT NULL PRIMARY KEY,
  NMFILIAL      VARCHAR(30) NOT NULL,
  IDCNTRRESC    VARCHAR(1)  DEFAULT 'N',
  IDFILCENTKVE  VARCHAR(1)  NOT NULL DEFAULT 'N',  -- 'S': the branch is a central kitchen
  CDFILCENTKVE  VARCHAR(4),                        -- central kitchen this branch belongs to
  IDBLOQNFSAF   VARCHAR(1)  NOT NULL DEFAULT 'N'   -- 'S': purchase invoices only against an AF
);
CREATE INDEX IF NOT EXISTS IX_FILIAL_CENTRAL ON FILIAL (CDFILCENTKVE);

CREATE TABLE IF NOT EXISTS PALM (
  CDFILIAL         VARCHAR(4)  NOT NULL,
  CDPALM           VARCHAR(3)  NOT NULL,
  NMPALM           VARCHAR(60) NOT NULL,  -- HotSync user (Palm) or network name (eeePC)
  IDTPPERIFEXPKVE  VARCHAR(1)  NOT NULL,  -- '1' Palm, '2' eeePC
  PRIMARY KEY (CDFILIAL, CDPALM)
);

CREATE TABLE IF NOT EXISTS OPERADOR (
  CDOPERADOR  VARCHAR(12) NOT NULL PRIMARY KEY,
  NMOPERADOR  VARCHAR(40) NOT NULL,
  CDSENHAOPE  VARCHAR(20),              -- password as the host stores it
  CDFILIAL    VARCHAR(4)                -- home branch
);

-- A nutritionist is an operator; one row per branch the nutritionist serves.
CREATE TABLE IF NOT EXISTS NUTRICIO (
  CDNUTRICIO  VARCHAR(12) NOT NULL,
  CDFILIAL    VARCHAR(4)  NOT NULL,
  PRIMARY KEY (CDNUTRICIO, CDFILIAL)
);

-- Branches an operator works for.
CREATE TABLE IF NOT EXISTS FILIOPER (
  CDFILIAL    VARCHAR(4)  NOT NULL,
  CDOPERADOR  VARCHAR(12) NOT NULL,
  PRIMARY KEY (CDFILIAL, CDOPERADOR)
);
CREATE INDEX IF NOT EXISTS IX_FILIOPER_OPER ON FILIOPER (CDOPERADOR);
