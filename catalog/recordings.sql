-- The record of every recording a converter took, beside FILELIST: one row per recording
-- (a path with its content: a recording changed at the same path is a row of its own), and
-- one row per archive file it created, replaced or extended. One text for SQLite and
-- PostgreSQL; names unquoted, as in filelist.sql. Times are seconds since 1970-01-01 UTC.
CREATE TABLE IF NOT EXISTS RECORDINGS (
    RPATH VARCHAR(1024),      -- the recording's absolute path
    STA VARCHAR(255),         -- station
    RSIZE BIGINT,             -- bytes
    MTIME DOUBLE PRECISION,   -- modification time
    RHASH VARCHAR(64),        -- SHA-256 of its bytes, hex
    CONVERTED DOUBLE PRECISION,  -- when its conversion ended
    OUTCOME VARCHAR(16),      -- converted, journaled, failed, incomplete
    EXITCODE INTEGER,         -- what plq2trq FILE STATION would have ended with
    REASON VARCHAR(1024)      -- the first line that said why it failed
);
CREATE UNIQUE INDEX IF NOT EXISTS RECORDINGS_RPATH_RHASH ON RECORDINGS (RPATH, RHASH);
-- Each station's latest recording (trq serve's home page).
CREATE INDEX IF NOT EXISTS RECORDINGS_STA_CONVERTED ON RECORDINGS (STA, CONVERTED);
CREATE TABLE IF NOT EXISTS RECORDINGFILES (
    RPATH VARCHAR(1024),
    RHASH VARCHAR(64),
    CPATH VARCHAR(255),       -- the archive file, as FILELIST names it
    ACTION VARCHAR(16)        -- created, replaced, extended
);
-- Which recordings an archive file holds (trq info, trq list --sources).
CREATE INDEX IF NOT EXISTS RECORDINGFILES_CPATH ON RECORDINGFILES (CPATH);
CREATE INDEX IF NOT EXISTS RECORDINGFILES_RECORDING ON RECORDINGFILES (RPATH, RHASH);
