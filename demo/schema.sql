-- The blank product database that the demo's Pelmora.CAB carries as Dorvane.mdb.
-- On this platform the database is a SQLite file reached through the SQLite
-- ODBC driver; the installer needs the Company table (the data-source test
-- selects from it) and the Status table (the registered user's name).
CREATE TABLE Company (
  CompanyID INTEGER PRIMARY KEY,
  CompanyName TEXT NOT NULL,
  Address TEXT,
  City TEXT,
  Phone TEXT
);

CREATE TABLE Status (
  StatusDescription TEXT NOT NULL,
  StatusDate TEXT,
  StatusValue TEXT
);

CREATE TABLE Goals (
  GoalID INTEGER PRIMARY KEY,
  Title TEXT NOT NULL,
  TargetDate TEXT,
  Done INTEGER NOT NULL DEFAULT 0
);

INSERT INTO Status (StatusDescription, StatusDate, StatusValue)
  VALUES ('SchemaVersion', '3/14/2026', '1.9.5');
