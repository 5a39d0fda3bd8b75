-- The catalog's table of archive files: one row per archive file. One text for every
-- database the catalog lives in (SQLite, PostgreSQL). Names are unquoted, so PostgreSQL
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
