-- Upgrade to schema version 3 (SQLite): the cold chain's tables, how each dish travels and when a
-- dish row's labels were made. Run in the upgrade's one transaction.

-- How each dish travels, beside the dish tables (the cold chain's own tables). The limits of each
-- mode live in the server's rules; these only choose a mode and shorten its time.

-- The conservation mode of a dish: Q quente, R refrigerado, C congelado, A ambiente; and the
-- dish's own safe time in hours when shorter than its mode's (null: the mode's). No foreign key to
-- PRATO, which the application maintains and may delete from.
CREATE TABLE IF NOT EXISTS CONSPRATO (
    CDPRATO       VARCHAR(10) NOT NULL,
    CDFILAUXPRAT  VARCHAR(4)  NOT NULL,
    IDCONSERV     VARCHAR(1)  NOT NULL CHECK (IDCONSERV IN ('Q', 'R', 'C', 'A')),
    QTHORASCONS   DOUBLE PRECISION,
    PRIMARY KEY (CDPRATO, CDFILAUXPRAT)
);

-- A branch's safe time for a mode, in hours, when it wants one shorter than the mode's.
CREATE TABLE IF NOT EXISTS CONSFILI (
    CDFILIAL      VARCHAR(4)  NOT NULL,
    IDCONSERV     VARCHAR(1)  NOT NULL CHECK (IDCONSERV IN ('Q', 'R', 'C', 'A')),
    QTHORASCONS   DOUBLE PRECISION NOT NULL,
    PRIMARY KEY (CDFILIAL, IDCONSERV)
);

-- When a dish row's labels were last made (CalcEtiqueta, CalcServTrans, a save): the preparation
-- time its labels print, and their use-by counts from. Goes with its row.
CREATE TABLE IF NOT EXISTS PREPSERVTRAN (
    CDFILIAL      VARCHAR(4)  NOT NULL,
    CDSERVFILI    VARCHAR(5)  NOT NULL,
    DTSERVTRAN    TEXT    NOT NULL,
    CDDIETPADST   VARCHAR(4)  NOT NULL,
    NRSERVTRAN    VARCHAR(10) NOT NULL,
    DTHRPREPARO   TEXT        NOT NULL,   -- UTC, ISO 8601 with milliseconds
    PRIMARY KEY (CDFILIAL, CDSERVFILI, DTSERVTRAN, CDDIETPADST, NRSERVTRAN),
    FOREIGN KEY (CDFILIAL, CDSERVFILI, DTSERVTRAN, CDDIETPADST, NRSERVTRAN)
        REFERENCES SERVTRAN (CDFILIAL, CDSERVFILI, DTSERVTRAN, CDDIETPADST, NRSERVTRAN)
        ON DELETE CASCADE ON UPDATE CASCADE
);
