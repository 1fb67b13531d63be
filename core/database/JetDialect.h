// The few forms of the Jet SQL the system writes that SQLite reads otherwise.
// Statements are written, and logged, in Jet's form; the database layer passes
// each one through JetToSqlite just before it reaches the driver:
//
//   "DELETE * FROM T ..."        -> "DELETE FROM T ..."
//   "... AS TO ... TO.PATH ..."  -> "... AS \"TO\" ... \"TO\".PATH ..."  (TO is an SQLite keyword)
//   "INSTR(a, b)"                -> "INSTR(UPPER(a), UPPER(b))"  (Jet compares text without case)
//
// Text columns are declared COLLATE NOCASE by the installation, so "=" and
// "<>" on text already compare without case, as Jet does. Literals ('...'),
// quoted names ("..." and [...]) are never changed.
#pragma once

#include <string>

std::string JetToSqlite(const std::string& statement);
