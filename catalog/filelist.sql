-- The catalog's tables: FILELIST, one row per archive file, and FILECHECKSUM below. One
-- text for every database the catalog lives in (SQLite, PostgreSQL). Names are unquoted, so PostgreSQL
-- folds them to lower case and the converter's lower-case "cpath" filter matches.
CREATE TABLE IF NOT EXISTS FILELIST (
    STA VARCHAR(255),
    SPS DOUBLE PRECISION,
    GAIN INTEGER,
    CPATH VARCHAR(255),
    DATATYPE INTEGER,
    CH VARCHAR(255),
    CREATER VARCHAR(255),
    LDDATE TIMESTAMP,
    TBEGIN DOUBLE PRECISION,
    TQTY DOUBLE PRECISION,
    FOFF INTEGER
);
-- One row per archive file path (catalog-setup.sh --no-unique-index leaves this out).
CREATE UNIQUE INDEX IF NOT EXISTS FILELIST_CPATH ON FILELIST (CPATH);
-- The rows of a station's channel in time order, for finding data by station, channel and
-- time (trq list, avail, export and plot with --station). Adding it to an existing catalog
-- leaves every row as it is.
CREATE INDEX IF NOT EXISTS FILELIST_STA_CH_TBEGIN ON FILELIST (STA, CH, TBEGIN);
-- The fixity of each archive file (archive/FileChecksum.h), kept apart from FILELIST: its
-- length, the hash of its whole content and of each block of BLOCKSIZE bytes (BLOCKHASHES:
-- one after the other), written when the converter has finished and synced the file, in
-- the transaction of the file's last row update. RECORDED and VERIFIED are seconds since
-- 1970-01-01 UTC: when the checksum was recorded, and when the file last matched it (at
-- first when it was recorded); trq check --verify takes the longest-unverified first.
-- Adding it to an older catalog leaves FILELIST as it is.
CREATE TABLE IF NOT EXISTS FILECHECKSUM (
    CPATH VARCHAR(255) PRIMARY KEY,
    FLENGTH BIGINT,
    ALGORITHM VARCHAR(16),
    FHASH VARCHAR(64),
    BLOCKSIZE INTEGER,
    BLOCKHASHES TEXT,
    RECORDED DOUBLE PRECISION,
    VERIFIED DOUBLE PRECISION
);
CREATE INDEX IF NOT EXISTS FILECHECKSUM_VERIFIED ON FILECHECKSUM (VERIFIED, CPATH);
