-- The unit records derived from each bench's journal: one row per attempt at commissioning one unit, replaced
-- while the record is still growing (a registration sent later from the outbox completes it). unit_key tells
-- a bench's records apart: the identity and its attempt ("70B3D57ED0000A01#2"), or for a node whose identity
-- did not decipher its port and start ("/dev/ttyUSB0@1796119200000").
CREATE TABLE unit_records (
    bench_id text NOT NULL REFERENCES benches (id),
    unit_key text NOT NULL,
    port text NOT NULL,
    start_time timestamptz NOT NULL,
    identity text NOT NULL DEFAULT '',
    lot text NOT NULL DEFAULT '',
    outcome text NOT NULL,
    end_time timestamptz,
    record jsonb NOT NULL,
    PRIMARY KEY (bench_id, unit_key)
);

CREATE INDEX unit_records_by_lot ON unit_records (lot, bench_id);
CREATE INDEX unit_records_by_identity ON unit_records (identity);

-- The question asked before a registration: has another bench registered this identity?
CREATE INDEX entries_registrations ON entries (identity, time) WHERE event = 'registration';
