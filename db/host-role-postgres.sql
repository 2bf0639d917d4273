-- The role of the hosts' own database connection on PostgreSQL ([database] path of the host):
-- it reads the reference tables the screens read and nothing else (not the transported-service
-- tables, not the operators' password hashes) and writes nothing; everything else goes through
-- the application server. Run as the owner of the tables, in their database and with their
-- schema first in the search path (as servtran-server --create-schema ran), then give the role
-- its password:  ALTER ROLE servtran_host PASSWORD '...';
DO $$ BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'servtran_host') THEN CREATE ROLE servtran_host LOGIN; END IF; END $$;
ALTER ROLE servtran_host SET default_transaction_read_only = on;
DO $$ BEGIN EXECUTE format('REVOKE ALL ON ALL TABLES IN SCHEMA %I FROM servtran_host', current_schema()); EXECUTE format('REVOKE CREATE ON SCHEMA %I FROM servtran_host', current_schema()); EXECUTE format('GRANT USAGE ON SCHEMA %I TO servtran_host', current_schema()); END $$;
GRANT SELECT ON FILIAL, SERVICO, PRATO, CLIENTE, OPERADOR, OPERFILI TO servtran_host;
