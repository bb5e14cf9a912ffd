#include "platform/cloud/postgres/PostgresSchema.h"

#include "platform/cloud/postgres/PostgresConnection.h"

namespace tallowmere::cloud {

// Version 1. Records keep their fields as JSON of tagged kinds ({"i": 1},
// {"b": true}, {"S": []} ...), so kinds never mix and jsonb equality and
// order compare values of one kind only.
const char* PostgresSchema::script() {
    return R"SQL(
SET client_min_messages = warning;
CREATE SCHEMA IF NOT EXISTS tallowmere;
DO $$ BEGIN
  IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'tallowmere_user') THEN
    CREATE ROLE tallowmere_user NOLOGIN;
  END IF;
  IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'tallowmere_verifier') THEN
    CREATE ROLE tallowmere_verifier NOLOGIN;
  END IF;
END $$;
REVOKE ALL ON SCHEMA tallowmere FROM PUBLIC;
GRANT USAGE ON SCHEMA tallowmere TO tallowmere_user;

CREATE TABLE IF NOT EXISTS tallowmere.meta(key text PRIMARY KEY, value integer NOT NULL);
GRANT SELECT ON tallowmere.meta TO tallowmere_user;

CREATE TABLE IF NOT EXISTS tallowmere.records(
  id bigserial PRIMARY KEY,
  db smallint NOT NULL CHECK (db IN (1, 2)),
  owner text COLLATE "C" NOT NULL DEFAULT current_user,
  name text COLLATE "C" NOT NULL,
  type text COLLATE "C" NOT NULL,
  fields jsonb NOT NULL,
  created timestamptz NOT NULL DEFAULT clock_timestamp(),
  modified timestamptz NOT NULL DEFAULT clock_timestamp(),
  version bigint NOT NULL DEFAULT 1);
CREATE UNIQUE INDEX IF NOT EXISTS records_public_name ON tallowmere.records(name) WHERE db = 1;
CREATE UNIQUE INDEX IF NOT EXISTS records_private_name ON tallowmere.records(owner, name) WHERE db = 2;
CREATE INDEX IF NOT EXISTS records_type ON tallowmere.records(db, type, owner, name);
CREATE INDEX IF NOT EXISTS records_fields ON tallowmere.records USING gin(fields jsonb_path_ops);
CREATE INDEX IF NOT EXISTS records_published ON tallowmere.records(db, type, (fields -> 'published_date'), name);
CREATE INDEX IF NOT EXISTS records_feed ON tallowmere.records(db, type, (fields -> 'feed_url' ->> 's'));
REVOKE ALL ON tallowmere.records FROM PUBLIC;
GRANT SELECT, INSERT (db, name, type, fields), DELETE ON tallowmere.records TO tallowmere_user;
GRANT UPDATE (fields) ON tallowmere.records TO tallowmere_user;
GRANT USAGE ON SEQUENCE tallowmere.records_id_seq TO tallowmere_user;

CREATE TABLE IF NOT EXISTS tallowmere.assets(key text PRIMARY KEY, bytes bytea NOT NULL);
REVOKE ALL ON tallowmere.assets FROM PUBLIC;
GRANT SELECT, INSERT ON tallowmere.assets TO tallowmere_user;

CREATE TABLE IF NOT EXISTS tallowmere.subscriptions(
  db smallint NOT NULL,
  owner text COLLATE "C" NOT NULL DEFAULT current_user,
  id text COLLATE "C" NOT NULL,
  type text COLLATE "C" NOT NULL,
  body jsonb NOT NULL,
  PRIMARY KEY (db, owner, id));
CREATE INDEX IF NOT EXISTS subscriptions_type ON tallowmere.subscriptions(db, type);
REVOKE ALL ON tallowmere.subscriptions FROM PUBLIC;
GRANT SELECT, INSERT (db, id, type, body), UPDATE (type, body), DELETE ON tallowmere.subscriptions TO tallowmere_user;

CREATE TABLE IF NOT EXISTS tallowmere.pushes(
  id bigserial PRIMARY KEY,
  owner text COLLATE "C" NOT NULL,
  writer text NOT NULL,
  db smallint NOT NULL,
  subscription text NOT NULL,
  payload jsonb NOT NULL);
CREATE INDEX IF NOT EXISTS pushes_owner ON tallowmere.pushes(owner, id);
REVOKE ALL ON tallowmere.pushes FROM PUBLIC;
GRANT SELECT ON tallowmere.pushes TO tallowmere_user;

CREATE SEQUENCE IF NOT EXISTS tallowmere.kv_seq;
CREATE TABLE IF NOT EXISTS tallowmere.kv(
  owner text COLLATE "C" NOT NULL DEFAULT current_user,
  key text NOT NULL,
  value text,
  seq bigint NOT NULL DEFAULT nextval('tallowmere.kv_seq'),
  writer text NOT NULL,
  PRIMARY KEY (owner, key));
CREATE INDEX IF NOT EXISTS kv_seq_index ON tallowmere.kv(owner, seq);
REVOKE ALL ON tallowmere.kv FROM PUBLIC;
GRANT SELECT, INSERT (key, value, writer), UPDATE (value, seq, writer) ON tallowmere.kv TO tallowmere_user;
GRANT USAGE ON SEQUENCE tallowmere.kv_seq TO tallowmere_user;

-- Who may see and change what.
ALTER TABLE tallowmere.records ENABLE ROW LEVEL SECURITY;
ALTER TABLE tallowmere.subscriptions ENABLE ROW LEVEL SECURITY;
ALTER TABLE tallowmere.pushes ENABLE ROW LEVEL SECURITY;
ALTER TABLE tallowmere.kv ENABLE ROW LEVEL SECURITY;
DROP POLICY IF EXISTS records_read ON tallowmere.records;
DROP POLICY IF EXISTS records_insert ON tallowmere.records;
DROP POLICY IF EXISTS records_update ON tallowmere.records;
DROP POLICY IF EXISTS records_delete ON tallowmere.records;
DROP POLICY IF EXISTS subscriptions_own ON tallowmere.subscriptions;
DROP POLICY IF EXISTS pushes_own ON tallowmere.pushes;
DROP POLICY IF EXISTS kv_own ON tallowmere.kv;
CREATE POLICY records_read ON tallowmere.records FOR SELECT USING (db = 1 OR owner = current_user);
CREATE POLICY records_insert ON tallowmere.records FOR INSERT WITH CHECK (owner = current_user);
CREATE POLICY records_update ON tallowmere.records FOR UPDATE USING (
  owner = current_user
  OR (db = 1 AND type = 'feed_stats')
  OR (db = 1 AND type = 'guid' AND pg_has_role(current_user, 'tallowmere_verifier', 'MEMBER')));
CREATE POLICY records_delete ON tallowmere.records FOR DELETE USING (owner = current_user);
CREATE POLICY subscriptions_own ON tallowmere.subscriptions USING (owner = current_user) WITH CHECK (owner = current_user);
CREATE POLICY pushes_own ON tallowmere.pushes FOR SELECT USING (owner = current_user);
CREATE POLICY kv_own ON tallowmere.kv USING (owner = current_user) WITH CHECK (owner = current_user);

-- The server keeps the dates and the row version; only the verifying
-- service writes "verified", and it writes nothing else of another's record.
CREATE OR REPLACE FUNCTION tallowmere.stamp() RETURNS trigger LANGUAGE plpgsql AS $$
DECLARE
  verifier boolean := pg_has_role(current_user, 'tallowmere_verifier', 'MEMBER');
BEGIN
  IF TG_OP = 'INSERT' THEN
    NEW.owner := current_user;
    NEW.created := clock_timestamp();
    NEW.modified := NEW.created;
    NEW.version := 1;
    IF NEW.type = 'guid' AND NEW.fields ? 'verified' AND NOT verifier THEN
      RAISE EXCEPTION 'only the verifying service sets "verified"' USING ERRCODE = '42501';
    END IF;
    RETURN NEW;
  END IF;
  IF NEW.type = 'guid' AND NOT verifier AND NEW.fields -> 'verified' IS DISTINCT FROM OLD.fields -> 'verified' THEN
    RAISE EXCEPTION 'only the verifying service sets "verified"' USING ERRCODE = '42501';
  END IF;
  IF NEW.type = 'guid' AND OLD.owner <> current_user AND (NEW.fields - 'verified') IS DISTINCT FROM (OLD.fields - 'verified') THEN
    RAISE EXCEPTION 'only its owner changes this record' USING ERRCODE = '42501';
  END IF;
  NEW.created := OLD.created;
  NEW.modified := greatest(clock_timestamp(), OLD.modified + interval '1 microsecond');
  NEW.version := OLD.version + 1;
  RETURN NEW;
END $$;
DROP TRIGGER IF EXISTS records_stamp ON tallowmere.records;
CREATE TRIGGER records_stamp BEFORE INSERT OR UPDATE ON tallowmere.records
  FOR EACH ROW EXECUTE FUNCTION tallowmere.stamp();

-- The channel of a role's pushes: derived from the role, never spliced.
CREATE OR REPLACE FUNCTION tallowmere.channel(role text) RETURNS text LANGUAGE sql IMMUTABLE AS $$
  SELECT 'tallowmere_' || substr(md5(role), 1, 24)
$$;

-- "%@" placeholders filled in turn with the text of the named fields.
CREATE OR REPLACE FUNCTION tallowmere.fill(template text, args jsonb, fields jsonb) RETURNS text
LANGUAGE plpgsql IMMUTABLE AS $$
DECLARE
  parts text[];
  result text;
  value jsonb;
BEGIN
  IF template IS NULL THEN RETURN NULL; END IF;
  parts := string_to_array(template, '%@');
  result := coalesce(parts[1], '');
  FOR i IN 2 .. coalesce(array_length(parts, 1), 0) LOOP
    value := fields -> (args ->> (i - 2));
    result := result || coalesce(value ->> 's', value ->> 'i', '') || parts[i];
  END LOOP;
  RETURN result;
END $$;

-- Evaluates every subscription on a saved record. It runs as the owner of
-- the tables: a saving role cannot see the other roles' subscriptions.
CREATE OR REPLACE FUNCTION tallowmere.push() RETURNS trigger LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, pg_temp AS $$
DECLARE
  s record;
  p jsonb;
  info jsonb;
  wanted integer := CASE WHEN TG_OP = 'INSERT' THEN 1 ELSE 2 END;
  picked jsonb;
  k text;
  payload jsonb;
  pushed bigint;
  device text := coalesce(current_setting('tallowmere.device', true), '');
BEGIN
  FOR s IN SELECT owner, id, body FROM tallowmere.subscriptions
           WHERE db = NEW.db AND type = NEW.type AND (NEW.db = 1 OR owner = NEW.owner) ORDER BY owner, id LOOP
    CONTINUE WHEN ((s.body ->> 'options')::integer & wanted) = 0;
    p := s.body -> 'predicate';
    CONTINUE WHEN NOT coalesce(CASE p ->> 'kind'
      WHEN 'all' THEN true
      WHEN 'equals' THEN NEW.fields -> (p ->> 'key') = p -> 'value'
      WHEN 'in' THEN (NEW.fields -> (p ->> 'key')) ? 's' AND (p -> 'values') ? (NEW.fields -> (p ->> 'key') ->> 's')
      WHEN 'recordID' THEN p ->> 'name' = NEW.name AND p ->> 'zone' = '_defaultZone'
      ELSE false END, false);
    info := s.body -> 'info';
    picked := '{}';
    FOR k IN SELECT jsonb_array_elements_text(coalesce(info -> 'desiredKeys', '[]')) LOOP
      IF NEW.fields ? k AND NOT (NEW.fields -> k) ? 'a' THEN
        picked := picked || jsonb_build_object(k, NEW.fields -> k);
      END IF;
    END LOOP;
    payload := jsonb_build_object('subscription', s.id, 'scope', NEW.db, 'name', NEW.name, 'zone', '_defaultZone',
      'fields', picked,
      'contentAvailable', coalesce((info ->> 'contentAvailable')::boolean, false),
      'mutableContent', coalesce((info ->> 'mutableContent')::boolean, false))
      || jsonb_strip_nulls(jsonb_build_object(
        'title', tallowmere.fill(info ->> 'titleKey', info -> 'titleArgs', NEW.fields),
        'body', tallowmere.fill(info ->> 'alertKey', info -> 'alertArgs', NEW.fields),
        'sound', info ->> 'sound', 'category', info ->> 'category'));
    INSERT INTO tallowmere.pushes(owner, writer, db, subscription, payload)
      VALUES (s.owner, device, NEW.db, s.id, payload) RETURNING id INTO pushed;
    -- The push ID only: payloads of notifications are limited in size.
    PERFORM pg_notify(tallowmere.channel(s.owner), pushed::text);
  END LOOP;
  RETURN NULL;
END $$;
REVOKE ALL ON FUNCTION tallowmere.push() FROM PUBLIC;
DROP TRIGGER IF EXISTS records_push ON tallowmere.records;
CREATE TRIGGER records_push AFTER INSERT OR UPDATE ON tallowmere.records
  FOR EACH ROW EXECUTE FUNCTION tallowmere.push();

INSERT INTO tallowmere.meta(key, value) VALUES ('schema', 1)
  ON CONFLICT (key) DO UPDATE SET value = greatest(tallowmere.meta.value, excluded.value);
)SQL";
}

std::optional<Error> PostgresSchema::install(const std::string& connectionString) {
    try {
        auto connection = PostgresConnection::open(connectionString);
        connection->executeScript(std::string("BEGIN;\n") + script() + "\nCOMMIT;");
        return std::nullopt;
    } catch (const PostgresFailure& failure) {
        return failure.error();
    }
}

}  // namespace tallowmere::cloud
