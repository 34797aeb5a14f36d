-- Master data in char(n) columns, as a real SQL Server database holds them:
-- every value comes back blank-padded to its column's width. Tenant numbers
-- in the forms the server itself reads as numbers, and two that would change
-- the schema lookup if they were placed into it.
DROP TABLE KVSYSTEM.Kvs301Asw;
CREATE TABLE KVSYSTEM.Kvs301Asw (
  AswNum varchar(13) NOT NULL,
  AswGVo datetime    NOT NULL,
  AswGbi datetime    NULL,
  AswPnr char(8)     NOT NULL,
  AswLiz char(7)     NOT NULL,
  AswMnd char(10)    NOT NULL,
  CONSTRAINT PK_Kvs301Asw PRIMARY KEY (AswNum, AswGVo)
);
DROP TABLE KVSYSTEM.Kvs112Mnd;
CREATE TABLE KVSYSTEM.Kvs112Mnd (
  MndLiz int      NOT NULL,
  MndNum int      NOT NULL,
  MndKon smallint NOT NULL,
  MndSch char(20) NOT NULL,
  CONSTRAINT PK_Kvs112Mnd PRIMARY KEY (MndLiz, MndNum, MndKon)
);
INSERT INTO KVSYSTEM.Kvs112Mnd (MndLiz, MndNum, MndKon, MndSch) VALUES (1, 10, 0, 'ACME');
INSERT INTO KVSYSTEM.Kvs112Mnd (MndLiz, MndNum, MndKon, MndSch) VALUES (1, 20, 1, 'OTHER');
-- 2001: padded values; 2002: tenant without a schema row; 2003-2005: a
-- leading blank, a decimal part, a sign; 2006-2007: not numbers.
INSERT INTO KVSYSTEM.Kvs301Asw (AswNum, AswPnr, AswLiz, AswMnd, AswGVo) VALUES ('2001', '4721', '1', '10', '2000-01-01 00:00:00');
INSERT INTO KVSYSTEM.Kvs301Asw (AswNum, AswPnr, AswLiz, AswMnd, AswGVo) VALUES ('2002', '4722', '1', '20', '2000-01-01 00:00:00');
INSERT INTO KVSYSTEM.Kvs301Asw (AswNum, AswPnr, AswLiz, AswMnd, AswGVo) VALUES ('2003', '4723', '1', ' 10', '2000-01-01 00:00:00');
INSERT INTO KVSYSTEM.Kvs301Asw (AswNum, AswPnr, AswLiz, AswMnd, AswGVo) VALUES ('2004', '4724', '1.0', '10.0', '2000-01-01 00:00:00');
INSERT INTO KVSYSTEM.Kvs301Asw (AswNum, AswPnr, AswLiz, AswMnd, AswGVo) VALUES ('2005', '4725', '+1', '+10', '2000-01-01 00:00:00');
INSERT INTO KVSYSTEM.Kvs301Asw (AswNum, AswPnr, AswLiz, AswMnd, AswGVo) VALUES ('2006', '4726', '1', '99 OR 1=1', '2000-01-01 00:00:00');
INSERT INTO KVSYSTEM.Kvs301Asw (AswNum, AswPnr, AswLiz, AswMnd, AswGVo) VALUES ('2007', '4727', '1', '10;DROP', '2000-01-01 00:00:00');
