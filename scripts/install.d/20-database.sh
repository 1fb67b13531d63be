# The integrity database KvData.mdb in the data folder (DATAPATH) with its
# schema and the default scan job, and its ODBC data source
# "Kestrava Selvane Tsl 3", registered with unixODBC in $root/odbc (the
# driver too, so nothing depends on the host's /etc/odbcinst.ini).
# An existing database or registration is never replaced; a database made
# by an earlier version gets the indexes of this one.

odbc_dir=$root/odbc
dsn='Kestrava Selvane Tsl 3'
driver_name='SQLite3 ODBC Driver'

# The POSIX folder of the data folder setting, through the drive map.
datapath=$("$kvreg" query "$settings" /v DATAPATH 2>/dev/null | sed -n 's/^    DATAPATH    REG_SZ    //p')
data_dir=$program/Data
if [[ $datapath =~ ^([A-Za-z]):(.*)$ ]]; then
  letter=${BASH_REMATCH[1],,}
  rest=${BASH_REMATCH[2]//\\//}
  target=$(readlink "$root/dosdevices/$letter:" || true)
  if [[ -n $target ]]; then
    target=${target%/}
    data_dir=$target$rest
  fi
elif [[ ${datapath//\\//} == /* ]]; then
  data_dir=${datapath//\\//}
fi
data_dir=${data_dir%/}
mkdir -p "$data_dir"
chmod 700 "$data_dir"
database=$data_dir/KvData.mdb

if [[ ! -e $database ]]; then
  # Text columns compare without case, as Jet's do; dates are stored as
  # local "YYYY-MM-DD HH:MM:SS" texts.
  item_columns='
  PATH VARCHAR(255) COLLATE NOCASE,
  MD5 VARCHAR(255) COLLATE NOCASE,
  SIZE INTEGER,
  CREATION_TIME DATETIME,
  OWNER VARCHAR(255) COLLATE NOCASE,
  LAST_MODIFIED_TIME DATETIME,
  LAST_ACCESSED_TIME DATETIME,
  ATTRIBUTES SMALLINT,
  PATH_MD5 VARCHAR(255) COLLATE NOCASE,
  PROFILE_ID INTEGER'
  staging=$data_dir/.KvData.mdb.$$
  rm -f "$staging"
  # The journal files SQLite makes later take the database file's mode.
  (umask 077 && : > "$staging")
  sqlite3 -batch -bail "$staging" > /dev/null <<SQL
PRAGMA journal_mode = WAL;
BEGIN;
CREATE TABLE PROFILES (
  PROFILE_ID INTEGER PRIMARY KEY AUTOINCREMENT,
  NAME VARCHAR(255) COLLATE NOCASE,
  ENABLED INTEGER DEFAULT 0,
  PRIORITY INTEGER DEFAULT 1,
  MAILTO VARCHAR(255) COLLATE NOCASE,
  MAILFROM VARCHAR(255) COLLATE NOCASE,
  SUBJECT VARCHAR(255) COLLATE NOCASE,
  SFIRST INTEGER DEFAULT 1,
  OLD_EXT_LIST TEXT COLLATE NOCASE);
CREATE TABLE FILES_PROFILES_LNK (
  PROFILE_ID INTEGER,
  PATH VARCHAR(255) COLLATE NOCASE,
  PATH_MD5 VARCHAR(32) COLLATE NOCASE,
  FLAG INTEGER DEFAULT 0);
CREATE TABLE CURRENT_DATA (
  ITEM_ID INTEGER PRIMARY KEY,$item_columns);
CREATE TABLE OLD_DATA (
  ITEM_ID INTEGER,$item_columns);
CREATE INDEX CURRENT_DATA_PATH_MD5 ON CURRENT_DATA (PATH_MD5);
CREATE INDEX OLD_DATA_PATH_MD5 ON OLD_DATA (PATH_MD5);
CREATE INDEX OLD_DATA_PROFILE_ID_PATH_MD5 ON OLD_DATA (PROFILE_ID, PATH_MD5);
CREATE INDEX FILES_PROFILES_LNK_PATH ON FILES_PROFILES_LNK (PATH);
CREATE INDEX FILES_PROFILES_LNK_PATH_MD5 ON FILES_PROFILES_LNK (PATH_MD5);
INSERT INTO PROFILES (PROFILE_ID, NAME, ENABLED, PRIORITY, SUBJECT, SFIRST)
  VALUES (1, 'Default', 0, 1, 'Kestrava Selvane Tessellon Alert', 1);
COMMIT;
SQL
  mv -n "$staging" "$database"
  rm -f "$staging" "$staging-wal" "$staging-shm"
fi
# The job's share of the baseline is read in path key order from this index
# alone, so the look-ups of the comparison into the other table's index go
# in the same order instead of at random; the index on PROFILE_ID alone
# served no statement this one does not. One transaction, and a no-op once
# done; it waits for a check or the console that holds the file.
sqlite3 -batch -bail "$database" > /dev/null <<SQL
.timeout 10000
BEGIN IMMEDIATE;
CREATE INDEX IF NOT EXISTS OLD_DATA_PROFILE_ID_PATH_MD5 ON OLD_DATA (PROFILE_ID, PATH_MD5);
DROP INDEX IF EXISTS OLD_DATA_PROFILE_ID;
COMMIT;
SQL
for file in "$database" "$database-wal" "$database-shm"; do
  if [[ -e $file ]]; then chmod 600 "$file"; fi
done

# The SQLite ODBC driver of this host.
driver_file=
for candidate in $(dpkg -L libsqliteodbc 2>/dev/null | grep '/libsqlite3odbc\.so$') \
                 /usr/lib/*/odbc/libsqlite3odbc.so /usr/lib/odbc/libsqlite3odbc.so \
                 /usr/local/lib/libsqlite3odbc.so; do
  if [[ -e $candidate ]]; then driver_file=$candidate; break; fi
done
if [[ -z $driver_file ]]; then
  echo "install.sh: the SQLite ODBC driver (libsqliteodbc) is missing" >&2
  exit 1
fi

mkdir -p "$odbc_dir"
# DontDLClose: the driver stays loaded across the restart every 1000 rows.
if ! grep -qF "[$driver_name]" "$odbc_dir/odbcinst.ini" 2>/dev/null; then
  cat >> "$odbc_dir/odbcinst.ini" <<INI
[$driver_name]
Description=SQLite3 ODBC Driver
Driver=$driver_file
Setup=$driver_file
Threading=2
DontDLClose=1

INI
fi

# Timeout: the engine and the console share the file, a writer waits up to
# 10 s for the other. LongNames=0: result columns without their table
# prefix (TC.PATH reads as PATH). NoCreat: a missing file is an error, never
# a new empty database. WAL with NORMAL synchronisation: readers and the
# writer do not block each other, and a commit costs no disk flush.
if ! grep -qF "[$dsn]" "$odbc_dir/odbc.ini" 2>/dev/null; then
  cat >> "$odbc_dir/odbc.ini" <<INI
[$dsn]
Description=Integrity database
Driver=$driver_name
Database=$database
Timeout=10000
NoCreat=1
LongNames=0
ShortNames=0
NoWCHAR=1
NoTXN=0
StepAPI=0
BigInt=0
JDConv=0
FKSupport=0
SyncPragma=NORMAL
JournalMode=WAL

INI
fi
