-- Upgrade to schema version 2 (PostgreSQL): the history of changes, for databases made before it
-- existed, the operators' passwords, and the table of the schema's version. Run in the upgrade's one transaction.

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

-- The operators' passwords, as Argon2id hashes in libsodium's string form (salt and costs inside);
-- set by servtran-server --set-password. An operator without a row cannot sign in.
CREATE TABLE IF NOT EXISTS SENHAOPER (
    CDOPERADOR    VARCHAR(8)   NOT NULL PRIMARY KEY REFERENCES OPERADOR (CDOPERADOR),
    DSHASHSENHA   VARCHAR(255) NOT NULL
);

-- The version of this schema: one row, written when the schema is created or upgraded. The server
-- upgrades an older database at start (db/upgrade-N-*.sql, N the version each step reaches) and
-- refuses a newer one. Raise the version whenever a table, column, index or trigger changes.
CREATE TABLE IF NOT EXISTS VERSAOBANCO (
    NRVERSAO      INTEGER     NOT NULL
);
