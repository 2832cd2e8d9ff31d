-- SPDX-License-Identifier: GPL-3.0-or-later
-- The archive Velbor.mdb. vb_key is the hidden row key: it gives the stored
-- order and is never reused. Indexes cover every field the windows search by;
-- text searches ignore letter case, hence the NOCASE indexes.

CREATE TABLE Clienti (
  vb_key     INTEGER PRIMARY KEY AUTOINCREMENT,
  codice     INTEGER,
  descr      TEXT,
  indirizzo  TEXT,
  cap        TEXT,
  provincia  TEXT,
  citta      TEXT,
  telefono   TEXT,
  fax        TEXT,
  email      TEXT,
  sito       TEXT,
  contatto   TEXT,
  piva       TEXT
);
CREATE INDEX Clienti_codice ON Clienti(codice);
CREATE INDEX Clienti_descr ON Clienti(descr COLLATE NOCASE);

CREATE TABLE Progetti (
  vb_key     INTEGER PRIMARY KEY AUTOINCREMENT,
  codice     TEXT,
  descr      TEXT,
  ufficio    TEXT,
  reparto    TEXT,
  operatore  TEXT,
  telefono   TEXT,
  email      TEXT,
  fax        TEXT,
  specifica  TEXT,
  note       LONGTEXT,
  data       DATE,
  codcli     INTEGER
);
CREATE INDEX Progetti_codice ON Progetti(codice COLLATE NOCASE);
CREATE INDEX Progetti_codcli ON Progetti(codcli);

CREATE TABLE RighePRJ (
  vb_key     INTEGER PRIMARY KEY AUTOINCREMENT,
  codprj     TEXT,
  livello    INTEGER,
  codice     TEXT,
  descr      TEXT,
  data       DATE
);
CREATE INDEX RighePRJ_codprj ON RighePRJ(codprj COLLATE NOCASE);
CREATE INDEX RighePRJ_codice ON RighePRJ(codice COLLATE NOCASE);

CREATE TABLE Componenti (
  vb_key     INTEGER PRIMARY KEY AUTOINCREMENT,
  codprj     TEXT,
  livello    INTEGER,
  codice     TEXT,
  file       TEXT,
  tipo       TEXT,
  inserito   DATETIME
);
CREATE INDEX Componenti_codprj ON Componenti(codprj COLLATE NOCASE);
CREATE INDEX Componenti_file ON Componenti(file COLLATE NOCASE);

CREATE TABLE Configura (
  vb_key     INTEGER PRIMARY KEY AUTOINCREMENT,
  descr      TEXT,
  indirizzo  TEXT,
  citta      TEXT,
  cap        TEXT,
  provincia  TEXT,
  telefono   TEXT,
  fax        TEXT,
  email      TEXT,
  sito       TEXT,
  piva       TEXT,
  cf         TEXT,
  sk1        TEXT,
  sk2        TEXT,
  sk3        TEXT,
  pre1       TEXT,
  pre2       TEXT,
  pre3       TEXT
);

CREATE TABLE maxcodice (
  vb_key     INTEGER PRIMARY KEY AUTOINCREMENT,
  codice     INTEGER DEFAULT 0,
  livello    INTEGER
);

-- The safety net. A deleted record's row, whole, with who deleted it and when.
CREATE TABLE Cestino (
  vb_key     INTEGER PRIMARY KEY AUTOINCREMENT,
  tabella    TEXT,
  chiave     INTEGER,
  codice     TEXT,
  descr      TEXT,
  riga       LONGTEXT,
  utente     TEXT,
  postazione TEXT,
  eliminato  DATETIME
);
CREATE INDEX Cestino_eliminato ON Cestino(eliminato);

-- One line per field changed by a save: the record (table and row key), the
-- value before and after, who and when. What a save adds is kept to one page
-- on a share, where every page costs requests: lines are never deleted, so
-- their keys need no counter of their own, and a record's history is found
-- by reading the table through (the window that shows it is opened seldom).
CREATE TABLE Storico (
  vb_key     INTEGER PRIMARY KEY,
  tabella    TEXT,
  chiave     INTEGER,
  campo      TEXT,
  prima      LONGTEXT,
  dopo       LONGTEXT,
  utente     TEXT,
  postazione TEXT,
  quando     DATETIME
);

-- The archive's own settings, one per name.
CREATE TABLE Impostazioni (
  vb_key     INTEGER PRIMARY KEY AUTOINCREMENT,
  nome       TEXT,
  valore     TEXT
);

-- The plain text of each notes page, so that a search never reads the pages
-- over the share: the page's path from the data folder ('/' between names),
-- its size, time and fingerprint when read, and its text. A row whose size or
-- time no longer match the file is read again by the workstation that sees it.
CREATE TABLE TestiNote (
  vb_key     INTEGER PRIMARY KEY AUTOINCREMENT,
  percorso   TEXT,
  dimensione INTEGER,
  modificato TEXT,
  impronta   TEXT,
  testo      LONGTEXT
);
CREATE INDEX TestiNote_percorso ON TestiNote(percorso COLLATE NOCASE);
