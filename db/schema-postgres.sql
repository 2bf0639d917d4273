-- Transported services: schema of the shared database, PostgreSQL dialect.
-- Same tables and columns as schema-sqlite.sql. Dates (DTSERVTRAN) are DATE here and ISO text
-- in SQLite; the server converts them in one place. Statements end with a semicolon at the end of a line.

-- Reference tables, maintained by the application and read by the screen with its own SQL.

CREATE TABLE IF NOT EXISTS FILIAL (
    CDFILIAL      VARCHAR(4)  NOT NULL PRIMARY KEY,
    NMFILIAL      VARCHAR(30) NOT NULL,
    IDSITUFILI    VARCHAR(1)  NOT NULL DEFAULT 'A'    -- A active, R contract rescinded
);

CREATE TABLE IF NOT EXISTS SERVICO (
    CDFILIAL      VARCHAR(4)  NOT NULL REFERENCES FILIAL (CDFILIAL),
    CDSERVFILI    VARCHAR(5)  NOT NULL,
    NMSERVICO     VARCHAR(40) NOT NULL,
    IDSERVTRAN    VARCHAR(1)  NOT NULL DEFAULT 'N',   -- S transported
    IDTIPOSERV    VARCHAR(1)  NOT NULL DEFAULT 'N',
    PRIMARY KEY (CDFILIAL, CDSERVFILI)
);

CREATE TABLE IF NOT EXISTS PRATO (
    CDPRATO       VARCHAR(10) NOT NULL,
    CDFILAUXPRAT  VARCHAR(4)  NOT NULL,               -- owning branch, or P for every branch
    NMPRATO       VARCHAR(40) NOT NULL,
    SGUNIDADE     VARCHAR(10),
    CDNVPRATO     VARCHAR(1)  NOT NULL,               -- level of the code in the dish-code picture
    VRARREDTRANS  DOUBLE PRECISION,                   -- rounding step of a transported total
    PRIMARY KEY (CDPRATO, CDFILAUXPRAT)
);

CREATE TABLE IF NOT EXISTS CLIENTE (
    CDCLIENTE     VARCHAR(21) NOT NULL PRIMARY KEY,
    NRINSJURCLIE  VARCHAR(20),
    IDTPIJURCLIE  VARCHAR(1),                         -- J company (CNPJ), F person (CPF)
    NMRAZSOCCLIE  VARCHAR(50) NOT NULL,
    NMFANTCLIE    VARCHAR(50)
);
CREATE INDEX IF NOT EXISTS CLIENTE_NRINSJURCLIE ON CLIENTE (NRINSJURCLIE);

CREATE TABLE IF NOT EXISTS OPERADOR (
    CDOPERADOR    VARCHAR(8)  NOT NULL PRIMARY KEY,
    NMOPERADOR    VARCHAR(40) NOT NULL
);

CREATE TABLE IF NOT EXISTS OPERFILI (
    CDOPERADOR    VARCHAR(8)  NOT NULL REFERENCES OPERADOR (CDOPERADOR),
    CDFILIAL      VARCHAR(4)  NOT NULL REFERENCES FILIAL (CDFILIAL),
    PRIMARY KEY (CDOPERADOR, CDFILIAL)
);

-- The operators' passwords, as Argon2id hashes in libsodium's string form (salt and costs inside);
-- set by servtran-server --set-password. An operator without a row cannot sign in.
CREATE TABLE IF NOT EXISTS SENHAOPER (
    CDOPERADOR    VARCHAR(8)   NOT NULL PRIMARY KEY REFERENCES OPERADOR (CDOPERADOR),
    DSHASHSENHA   VARCHAR(255) NOT NULL
);

-- Tables of the transported-services server.

-- Delivery points of a branch.
CREATE TABLE IF NOT EXISTS DESTFILI (
    CDFILIAL      VARCHAR(4)  NOT NULL REFERENCES FILIAL (CDFILIAL),
    CDDESTFILI    VARCHAR(3)  NOT NULL,
    NMDESTFILI    VARCHAR(30) NOT NULL,
    PRIMARY KEY (CDFILIAL, CDDESTFILI)
);

-- Registered data of a dish for a service of a branch.
CREATE TABLE IF NOT EXISTS PRATOSERV (
    CDFILIAL      VARCHAR(4)  NOT NULL,
    CDSERVFILI    VARCHAR(5)  NOT NULL,
    CDPRATO       VARCHAR(10) NOT NULL,
    CDFILAUXPRAT  VARCHAR(4)  NOT NULL,
    QTPADRAO      DOUBLE PRECISION,                   -- quantity per person
    QTCONTAI      DOUBLE PRECISION,                   -- quantity per container
    QTAMOSTRAUN   DOUBLE PRECISION,                   -- sample
    PERCENTUAL    DOUBLE PRECISION,                   -- minimum fill of a last container; null: the branch's
    PRIMARY KEY (CDFILIAL, CDSERVFILI, CDPRATO, CDFILAUXPRAT),
    FOREIGN KEY (CDFILIAL, CDSERVFILI) REFERENCES SERVICO (CDFILIAL, CDSERVFILI),
    FOREIGN KEY (CDPRATO, CDFILAUXPRAT) REFERENCES PRATO (CDPRATO, CDFILAUXPRAT)
);

-- Sample quantity of a unit of measure in a branch.
CREATE TABLE IF NOT EXISTS UNIDMEDIFILI (
    CDFILIAL      VARCHAR(4)  NOT NULL REFERENCES FILIAL (CDFILIAL),
    SGUNIDADE     VARCHAR(10) NOT NULL,
    QTAMOSTRAUN   DOUBLE PRECISION,
    PRIMARY KEY (CDFILIAL, SGUNIDADE)
);

-- Parameters of a branch for transported services.
CREATE TABLE IF NOT EXISTS PARAMFILI (
    CDFILIAL      VARCHAR(4)  NOT NULL PRIMARY KEY REFERENCES FILIAL (CDFILIAL),
    VRPEMINCONT   DOUBLE PRECISION                    -- default minimum fill percentage of a last container
);

-- Diners of a service on a day.
CREATE TABLE IF NOT EXISTS COMESERV (
    CDFILIAL      VARCHAR(4)  NOT NULL,
    CDSERVFILI    VARCHAR(5)  NOT NULL,
    DTSERVTRAN    DATE        NOT NULL,
    QTCOMESTICAR  DOUBLE PRECISION,
    PRIMARY KEY (CDFILIAL, CDSERVFILI, DTSERVTRAN),
    FOREIGN KEY (CDFILIAL, CDSERVFILI) REFERENCES SERVICO (CDFILIAL, CDSERVFILI)
);

-- Transported-service rows: one dish sent to a delivery point of a client on a day.
CREATE TABLE IF NOT EXISTS SERVTRAN (
    CDFILIAL          VARCHAR(4)  NOT NULL,
    CDSERVFILI        VARCHAR(5)  NOT NULL,
    DTSERVTRAN        DATE        NOT NULL,
    CDDIETPADST       VARCHAR(4)  NOT NULL,
    NRSERVTRAN        VARCHAR(10) NOT NULL,
    CDCLIENTE         VARCHAR(21) NOT NULL,
    CDDESTFILI        VARCHAR(3)  NOT NULL,
    CDPRATO           VARCHAR(10) NOT NULL,
    CDFILAUXPRAT      VARCHAR(4)  NOT NULL,
    NMPRATO           VARCHAR(40),
    SGUNIDADE         VARCHAR(10),
    QTCOMECLIST       DOUBLE PRECISION,
    QTEFETCLIST       DOUBLE PRECISION,
    QTCOMESTIST       DOUBLE PRECISION,
    QTPADRAOST        DOUBLE PRECISION,
    QTCONTAIST        DOUBLE PRECISION,
    QTTOTAPRATST      DOUBLE PRECISION,
    QTTOTACONTST      DOUBLE PRECISION,
    QTCONTCOMPST      DOUBLE PRECISION,
    QTPARCPRATST      DOUBLE PRECISION,
    VRPECONSST        DOUBLE PRECISION,
    QTAMOSTRAST       DOUBLE PRECISION,
    QTCONTCOMPSTCAMOS DOUBLE PRECISION,
    QTTOTACONTSTCAMOS DOUBLE PRECISION,
    PRIMARY KEY (CDFILIAL, CDSERVFILI, DTSERVTRAN, CDDIETPADST, NRSERVTRAN),
    -- what a label refers to: the row key plus client, point and dish
    UNIQUE (CDFILIAL, CDSERVFILI, DTSERVTRAN, CDDIETPADST, NRSERVTRAN,
            CDCLIENTE, CDDESTFILI, CDPRATO, CDFILAUXPRAT)
);

-- Container labels of a row.
CREATE TABLE IF NOT EXISTS ETIQSERVTRAN (
    CDFILIAL      VARCHAR(4)  NOT NULL,
    CDSERVFILI    VARCHAR(5)  NOT NULL,
    DTSERVTRAN    DATE        NOT NULL,
    CDDIETPADST   VARCHAR(4)  NOT NULL,
    NRSERVTRAN    VARCHAR(10) NOT NULL,
    CDCLIENTE     VARCHAR(21) NOT NULL,
    CDDESTFILI    VARCHAR(3)  NOT NULL,
    CDPRATO       VARCHAR(10) NOT NULL,
    CDFILAUXPRAT  VARCHAR(4)  NOT NULL,
    NRSEQUETIQTR  VARCHAR(4)  NOT NULL,
    QTPRATETIQTR  DOUBLE PRECISION,
    PRIMARY KEY (CDFILIAL, CDSERVFILI, DTSERVTRAN, CDDIETPADST, NRSERVTRAN, NRSEQUETIQTR),
    FOREIGN KEY (CDFILIAL, CDSERVFILI, DTSERVTRAN, CDDIETPADST, NRSERVTRAN,
                 CDCLIENTE, CDDESTFILI, CDPRATO, CDFILAUXPRAT)
        REFERENCES SERVTRAN (CDFILIAL, CDSERVFILI, DTSERVTRAN, CDDIETPADST, NRSERVTRAN,
                             CDCLIENTE, CDDESTFILI, CDPRATO, CDFILAUXPRAT)
        ON DELETE CASCADE ON UPDATE CASCADE
);

-- History of changes of dish rows: one row per dish row a write method inserted, changed or
-- deleted, written in the write's own transaction. Nothing updates or deletes it.
CREATE TABLE IF NOT EXISTS HISTSERVTRAN (
    NRHISTSERVTRAN BIGINT      GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    DTHRALTERACAO  TIMESTAMPTZ NOT NULL,
    CDOPERADOR     VARCHAR(8)  NOT NULL,
    DSENDERECO     VARCHAR(64) NOT NULL,
    NMMETODO       VARCHAR(20) NOT NULL,
    IDALTERACAO    VARCHAR(1)  NOT NULL,   -- I included, A changed, E deleted
    CDFILIAL       VARCHAR(4)  NOT NULL,
    CDSERVFILI     VARCHAR(5)  NOT NULL,
    DTSERVTRAN     DATE        NOT NULL,
    CDDIETPADST    VARCHAR(4)  NOT NULL,
    NRSERVTRAN     VARCHAR(10) NOT NULL,
    CDCLIENTE      VARCHAR(21),
    CDDESTFILI     VARCHAR(3),
    CDPRATO        VARCHAR(10),
    CDFILAUXPRAT   VARCHAR(4),
    DSANTES        TEXT,                   -- JSON: the columns as they were (changed ones only for A)
    DSDEPOIS       TEXT                    -- JSON: the columns as they became
);
CREATE INDEX IF NOT EXISTS HISTSERVTRAN_DIA ON HISTSERVTRAN (CDFILIAL, CDSERVFILI, DTSERVTRAN);
CREATE OR REPLACE FUNCTION HISTSERVTRAN_IMUTAVEL() RETURNS TRIGGER LANGUAGE plpgsql AS $$ BEGIN RAISE EXCEPTION 'O histórico de alterações não pode ser alterado nem excluído.'; END $$;
CREATE OR REPLACE TRIGGER HISTSERVTRAN_SEM_ALTERACAO BEFORE UPDATE OR DELETE OR TRUNCATE ON HISTSERVTRAN FOR EACH STATEMENT EXECUTE FUNCTION HISTSERVTRAN_IMUTAVEL();

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
    DTSERVTRAN    DATE    NOT NULL,
    CDDIETPADST   VARCHAR(4)  NOT NULL,
    NRSERVTRAN    VARCHAR(10) NOT NULL,
    DTHRPREPARO   TIMESTAMPTZ NOT NULL,
    PRIMARY KEY (CDFILIAL, CDSERVFILI, DTSERVTRAN, CDDIETPADST, NRSERVTRAN),
    FOREIGN KEY (CDFILIAL, CDSERVFILI, DTSERVTRAN, CDDIETPADST, NRSERVTRAN)
        REFERENCES SERVTRAN (CDFILIAL, CDSERVFILI, DTSERVTRAN, CDDIETPADST, NRSERVTRAN)
        ON DELETE CASCADE ON UPDATE CASCADE
);

-- Each container's dispatch at the kitchen: the temperature read as its label left, when (the
-- server's clock), by whom and from where. Entry 1 is the dispatch; later entries are corrections,
-- each with its reason; none is ever changed. Goes with its row.
CREATE TABLE IF NOT EXISTS EXPESERVTRAN (
    CDFILIAL      VARCHAR(4)  NOT NULL,
    CDSERVFILI    VARCHAR(5)  NOT NULL,
    DTSERVTRAN    DATE     NOT NULL,
    CDDIETPADST   VARCHAR(4)  NOT NULL,
    NRSERVTRAN    VARCHAR(10) NOT NULL,
    NRSEQUETIQTR  VARCHAR(4)  NOT NULL,
    NRSEQEXPED    INTEGER     NOT NULL,
    VRTEMPERATURA DOUBLE PRECISION NOT NULL,
    DTHREXPEDICAO TIMESTAMPTZ NOT NULL,
    CDOPERADOR    VARCHAR(8)  NOT NULL,
    DSENDERECO    VARCHAR(64) NOT NULL,
    DSMOTIVO      VARCHAR(200),
    PRIMARY KEY (CDFILIAL, CDSERVFILI, DTSERVTRAN, CDDIETPADST, NRSERVTRAN, NRSEQUETIQTR, NRSEQEXPED),
    FOREIGN KEY (CDFILIAL, CDSERVFILI, DTSERVTRAN, CDDIETPADST, NRSERVTRAN)
        REFERENCES SERVTRAN (CDFILIAL, CDSERVFILI, DTSERVTRAN, CDDIETPADST, NRSERVTRAN)
        ON DELETE CASCADE ON UPDATE CASCADE
);

-- Each container's receipt at its delivery point, recorded from the phone page of the label's
-- link: the temperature on arrival, who received it, when (the server's clock), through which
-- operator (the web front's) and from which address (the phone's, as the web front saw it).
-- Entry 1 is the receipt; later entries are corrections, each with its reason; none is ever
-- changed. Goes with its row.
CREATE TABLE IF NOT EXISTS RECESERVTRAN (
    CDFILIAL        VARCHAR(4)  NOT NULL,
    CDSERVFILI      VARCHAR(5)  NOT NULL,
    DTSERVTRAN      DATE        NOT NULL,
    CDDIETPADST     VARCHAR(4)  NOT NULL,
    NRSERVTRAN      VARCHAR(10) NOT NULL,
    NRSEQUETIQTR    VARCHAR(4)  NOT NULL,
    NRSEQRECEB      INTEGER     NOT NULL,
    VRTEMPERATURA   DOUBLE PRECISION NOT NULL,
    NMRECEBEDOR     VARCHAR(60) NOT NULL,
    DTHRRECEBIMENTO TIMESTAMPTZ NOT NULL,
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
    DTHRCRIACAO     TIMESTAMPTZ NOT NULL
);

-- The version of this schema: one row, written when the schema is created or upgraded. The server
-- upgrades an older database at start (db/upgrade-N-*.sql, N the version each step reaches) and
-- refuses a newer one. Raise the version whenever a table, column, index or trigger changes.
CREATE TABLE IF NOT EXISTS VERSAOBANCO (
    NRVERSAO      INTEGER     NOT NULL
);
