-- Upgrade to schema version 5 (SQLite): the containers' receipt at their delivery points and the
-- keys that sign the labels' links. Run in the upgrade's one transaction.

-- Each container's receipt at its delivery point, recorded from the phone page of the label's
-- link: the temperature on arrival, who received it, when (the server's clock), through which
-- operator (the web front's) and from which address (the phone's, as the web front saw it).
-- Entry 1 is the receipt; later entries are corrections, each with its reason; none is ever
-- changed. Goes with its row.
CREATE TABLE IF NOT EXISTS RECESERVTRAN (
    CDFILIAL        VARCHAR(4)  NOT NULL,
    CDSERVFILI      VARCHAR(5)  NOT NULL,
    DTSERVTRAN      TEXT        NOT NULL,
    CDDIETPADST     VARCHAR(4)  NOT NULL,
    NRSERVTRAN      VARCHAR(10) NOT NULL,
    NRSEQUETIQTR    VARCHAR(4)  NOT NULL,
    NRSEQRECEB      INTEGER     NOT NULL,
    VRTEMPERATURA   DOUBLE PRECISION NOT NULL,
    NMRECEBEDOR     VARCHAR(60) NOT NULL,
    DTHRRECEBIMENTO TEXT        NOT NULL,   -- UTC, ISO 8601 with milliseconds
    CDOPERADOR      VARCHAR(8)  NOT NULL,
    DSENDERECO      VARCHAR(64) NOT NULL,
    DSMOTIVO        VARCHAR(200),
    PRIMARY KEY (CDFILIAL, CDSERVFILI, DTSERVTRAN, CDDIETPADST, NRSERVTRAN, NRSEQUETIQTR, NRSEQRECEB),
    FOREIGN KEY (CDFILIAL, CDSERVFILI, DTSERVTRAN, CDDIETPADST, NRSERVTRAN)
        REFERENCES SERVTRAN (CDFILIAL, CDSERVFILI, DTSERVTRAN, CDDIETPADST, NRSERVTRAN)
        ON DELETE CASCADE ON UPDATE CASCADE
);

-- The secret keys that sign the labels' links (HMAC-SHA-256), 32 random bytes in hexadecimal,
-- made by the server when it first signs. Every server of the database signs and checks with the
-- newest; a link names the key it was signed with, so an older key still checks the links it
-- signed.
CREATE TABLE IF NOT EXISTS CHAVELINK (
    NRCHAVE         INTEGER     NOT NULL PRIMARY KEY,
    DSCHAVE         VARCHAR(64) NOT NULL,
    DTHRCRIACAO     TEXT        NOT NULL    -- UTC, ISO 8601 with milliseconds
);
