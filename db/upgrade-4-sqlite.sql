-- Upgrade to schema version 4 (SQLite): the containers' dispatch records. Run in the upgrade's one
-- transaction.

-- Each container's dispatch at the kitchen: the temperature read as its label left, when (the
-- server's clock), by whom and from where. Entry 1 is the dispatch; later entries are corrections,
-- each with its reason; none is ever changed. Goes with its row.
CREATE TABLE IF NOT EXISTS EXPESERVTRAN (
    CDFILIAL      VARCHAR(4)  NOT NULL,
    CDSERVFILI    VARCHAR(5)  NOT NULL,
    DTSERVTRAN    TEXT     NOT NULL,
    CDDIETPADST   VARCHAR(4)  NOT NULL,
    NRSERVTRAN    VARCHAR(10) NOT NULL,
    NRSEQUETIQTR  VARCHAR(4)  NOT NULL,
    NRSEQEXPED    INTEGER     NOT NULL,
    VRTEMPERATURA DOUBLE PRECISION NOT NULL,
    DTHREXPEDICAO TEXT        NOT NULL,   -- UTC, ISO 8601 with milliseconds
    CDOPERADOR    VARCHAR(8)  NOT NULL,
    DSENDERECO    VARCHAR(64) NOT NULL,
    DSMOTIVO      VARCHAR(200),
    PRIMARY KEY (CDFILIAL, CDSERVFILI, DTSERVTRAN, CDDIETPADST, NRSERVTRAN, NRSEQUETIQTR, NRSEQEXPED),
    FOREIGN KEY (CDFILIAL, CDSERVFILI, DTSERVTRAN, CDDIETPADST, NRSERVTRAN)
        REFERENCES SERVTRAN (CDFILIAL, CDSERVFILI, DTSERVTRAN, CDDIETPADST, NRSERVTRAN)
        ON DELETE CASCADE ON UPDATE CASCADE
);
