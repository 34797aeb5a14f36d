-- Demonstration master data for sql/schema.sql: one licence with a tenant
-- (schema MUSTER) and a second tenant without a schema row, five employees
-- with current, ended and future badges, workstations and error texts.
-- Same rules as schema.sql: statements end with ';' at the end of a line,
-- no empty lines.
--
-- Tenants: licence 1, tenant 1 works in schema MUSTER; tenant 2 has only a
-- row with MndKon 1, so its schema is not found.
INSERT INTO KVSYSTEM.Kvs112Mnd (MndLiz, MndNum, MndKon, MndSch, MndBez) VALUES (1, 1, 0, 'MUSTER', 'Muster GmbH');
INSERT INTO KVSYSTEM.Kvs112Mnd (MndLiz, MndNum, MndKon, MndSch, MndBez) VALUES (1, 2, 1, 'ALT', 'Altmandant');
--
-- Badges. 0000100001 is held by 00001001 since 2006; 0000100002 was held by
-- 00001002 until 31.12.2006 and is held by 00001003 since 01.01.2007 (same
-- badge, two holders); 0000100004 ends on 31.01.2007; 0000100005 begins on
-- 01.03.2007; 0000100006 belongs to the tenant without schema.
INSERT INTO KVSYSTEM.Kvs301Asw (AswNum, AswGVo, AswGbi, AswPnr, AswLiz, AswMnd) VALUES ('0000100001', '2006-01-01 00:00:00', NULL, '00001001', '1', '1');
INSERT INTO KVSYSTEM.Kvs301Asw (AswNum, AswGVo, AswGbi, AswPnr, AswLiz, AswMnd) VALUES ('0000100002', '2005-04-01 00:00:00', '2006-12-31 00:00:00', '00001002', '1', '1');
INSERT INTO KVSYSTEM.Kvs301Asw (AswNum, AswGVo, AswGbi, AswPnr, AswLiz, AswMnd) VALUES ('0000100002', '2007-01-01 00:00:00', NULL, '00001003', '1', '1');
INSERT INTO KVSYSTEM.Kvs301Asw (AswNum, AswGVo, AswGbi, AswPnr, AswLiz, AswMnd) VALUES ('0000100004', '2006-06-01 00:00:00', '2007-01-31 00:00:00', '00001004', '1', '1');
INSERT INTO KVSYSTEM.Kvs301Asw (AswNum, AswGVo, AswGbi, AswPnr, AswLiz, AswMnd) VALUES ('0000100005', '2007-03-01 00:00:00', NULL, '00001005', '1', '1');
INSERT INTO KVSYSTEM.Kvs301Asw (AswNum, AswGVo, AswGbi, AswPnr, AswLiz, AswMnd) VALUES ('0000100006', '2006-01-01 00:00:00', NULL, '00002001', '1', '2');
--
-- Workstations as stored: without leading zeros. Booking files write them
-- with leading zeros (0000007, 0000042, 0000123), which dulmar removes.
INSERT INTO O1003KSTSTELLE (KstApz, KstNum, KstBez) VALUES ('7', '4100', 'Wareneingang');
INSERT INTO O1003KSTSTELLE (KstApz, KstNum, KstBez) VALUES ('42', '4200', 'Montage Halle 2');
INSERT INTO O1003KSTSTELLE (KstApz, KstNum, KstBez) VALUES ('123', '4300-QS', 'Qualitaetssicherung');
INSERT INTO O1003KSTSTELLE (KstApz, KstNum, KstBez) VALUES ('1001', '9000', 'Verwaltung');
--
-- Error texts of the batch programs (number range 8), German (language 1).
INSERT INTO Kvsystem.Kvs102Whl (FtxNumSpr, FtxWhl, FtxSpr, FtxDok) VALUES (8, 1065, 1, 'Fehler beim Schreiben der Buchung in Kvs321Bch');
INSERT INTO Kvsystem.Kvs102Whl (FtxNumSpr, FtxWhl, FtxSpr, FtxDok) VALUES (8, 1066, 1, 'Ausweis nicht gefunden');
INSERT INTO Kvsystem.Kvs102Whl (FtxNumSpr, FtxWhl, FtxSpr, FtxDok) VALUES (8, 1065, 2, 'Error writing the booking to Kvs321Bch');
