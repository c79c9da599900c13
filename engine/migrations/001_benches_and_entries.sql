-- The benches that forward into this database, and every journal entry each of them wrote.
CREATE TABLE benches (
    id text PRIMARY KEY,
    name text NOT NULL,
    first_seen timestamptz NOT NULL DEFAULT now(),
    last_seen timestamptz NOT NULL DEFAULT now()
);

-- One row per journal entry: seq counts a bench's complete journal entries from 0, so a batch sent twice
-- (after a lost answer or a restart) adds nothing the second time.
CREATE TABLE entries (
    bench_id text NOT NULL REFERENCES benches (id),
    seq bigint NOT NULL,
    time timestamptz NOT NULL,
    event text NOT NULL,
    identity text NOT NULL DEFAULT '',
    lot text NOT NULL DEFAULT '',
    body jsonb NOT NULL,
    received timestamptz NOT NULL DEFAULT clock_timestamp(),
    PRIMARY KEY (bench_id, seq)
);

CREATE INDEX entries_by_identity ON entries (identity, time);
CREATE INDEX entries_by_lot ON entries (lot, time);
CREATE INDEX entries_by_time ON entries (time);
