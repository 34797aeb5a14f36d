-- Tables of the time-and-attendance database that dulmar reads and writes.
-- T-SQL for SQL Server (sqlcmd -i schema.sql) and for the test database
-- (dulmar-sqlrun DSN LOGIN PASSWORD schema.sql, or isql -b -n DSN LOGIN PASSWORD < schema.sql).
-- Written for all three: every statement ends with ';' at the end of a line,
-- batches end with a lower-case 'go' line, comments inside statements are
-- /* ... */ (isql -n joins the lines of a statement into one), and there is
-- no empty line (isql stops reading at the first one).
--
-- The system schema; tenants' own data lives in schemas named in Kvs112Mnd.
CREATE SCHEMA KVSYSTEM;
go
--
-- Tenants: licence number and tenant number give the tenant's schema.
CREATE TABLE KVSYSTEM.Kvs112Mnd (
  MndLiz int         NOT NULL,  /* licence number */
  MndNum int         NOT NULL,  /* tenant number */
  MndKon smallint    NOT NULL CONSTRAINT DF_Kvs112Mnd_MndKon DEFAULT 0,  /* 0: the tenant's main row */
  MndSch varchar(20) NOT NULL,  /* the tenant's schema */
  MndBez varchar(40) NULL,      /* name of the tenant */
  CONSTRAINT PK_Kvs112Mnd PRIMARY KEY (MndLiz, MndNum, MndKon)
);
--
-- Badge assignments: which employee of which tenant holds a badge, from
-- AswGVo until AswGbi (NULL: still holds it).
CREATE TABLE KVSYSTEM.Kvs301Asw (
  AswNum varchar(13) NOT NULL,  /* badge number as the terminals read it */
  AswGVo datetime    NOT NULL,  /* valid from */
  AswGbi datetime    NULL,      /* valid until; NULL while the badge is held */
  AswPnr char(8)     NOT NULL,  /* personnel number */
  AswLiz varchar(7)  NOT NULL,  /* licence number of the tenant */
  AswMnd varchar(10) NOT NULL,  /* tenant number */
  CONSTRAINT PK_Kvs301Asw PRIMARY KEY (AswNum, AswGVo),
  CONSTRAINT CK_Kvs301Asw_AswGbi CHECK (AswGbi IS NULL OR AswGbi >= AswGVo)
);
--
-- Workstations (terminal numbers without leading zeros) and their cost centres.
CREATE TABLE O1003KSTSTELLE (
  KstApz varchar(7)  NOT NULL,  /* workstation number */
  KstNum varchar(20) NOT NULL,  /* cost centre */
  KstBez varchar(40) NULL,      /* description */
  CONSTRAINT PK_O1003KSTSTELLE PRIMARY KEY (KstApz)
);
--
-- Texts of program error numbers by number range and language.
CREATE TABLE Kvsystem.Kvs102Whl (
  FtxNumSpr smallint     NOT NULL,  /* number range; 8: batch programs */
  FtxWhl    int          NOT NULL,  /* error number */
  FtxSpr    smallint     NOT NULL,  /* language; 1: German */
  FtxDok    varchar(500) NOT NULL,  /* the text */
  CONSTRAINT PK_Kvs102Whl PRIMARY KEY (FtxNumSpr, FtxWhl, FtxSpr)
);
--
-- Bookings. Function code 25 is a cost-centre change; a booking without an
-- employee or without a cost centre is refused.
CREATE TABLE KVS321BCH (
  BchPnr char(8)     NOT NULL,  /* personnel number */
  BchVon datetime    NOT NULL,  /* booking day, midnight */
  BchUhr datetime    NOT NULL,  /* booking day and time */
  BchFkt smallint    NOT NULL,  /* function code */
  BchFcd varchar(32) NOT NULL,  /* cost-centre change identifier, KSW by default */
  BchKst varchar(30) NOT NULL,  /* cost centre */
  CONSTRAINT PK_KVS321BCH PRIMARY KEY (BchPnr, BchVon, BchUhr, BchFkt),
  CONSTRAINT CK_KVS321BCH_BchPnr CHECK (BchPnr <> ''),
  CONSTRAINT CK_KVS321BCH_BchKst CHECK (BchKst <> '')
);
--
-- Run log: one row per error a batch program reports.
CREATE TABLE KvSystem.Kvs001Log (
  LogPrg  varchar(30)  NOT NULL,  /* program file name */
  LogStz  char(14)     NOT NULL,  /* start of the run, yyyymmddhhmiss */
  LogPrm  varchar(150) NOT NULL,  /* command-line arguments */
  LogSch  varchar(20)  NOT NULL,  /* schema */
  LogPnr  varchar(10)  NOT NULL,  /* personnel number */
  LogDtm  datetime     NULL,      /* date the error concerns */
  LogMod  varchar(10)  NOT NULL,  /* module id */
  LogFkt  varchar(50)  NOT NULL,  /* function that failed */
  LogTErr int          NOT NULL,  /* program error number */
  LogTTxt varchar(256) NOT NULL,  /* its text from Kvs102Whl */
  LogSErr int          NOT NULL,  /* database error number */
  LogSTxt varchar(256) NOT NULL,  /* database message */
  LogMsg  varchar(256) NOT NULL,  /* error code text */
  LogTyp  smallint     NOT NULL,  /* detail type */
  LogDat  datetime     NOT NULL CONSTRAINT DF_Kvs001Log_LogDat DEFAULT GETDATE()  /* time of the row */
);
CREATE INDEX IX_Kvs001Log_LogStz ON KvSystem.Kvs001Log (LogStz, LogDat);
go
