-- Master data shared by the end-to-end scenarios. The bookings of the
-- scenarios are dated 25 January 2007 unless they say otherwise.

-- Tenant 10 of licence 1 has the schema ACME; tenant 20 has no row for
-- MndKon = 0, so its schema cannot be found.
INSERT INTO KVSYSTEM.Kvs112Mnd (MndLiz, MndNum, MndKon, MndSch) VALUES (1, 10, 0, 'ACME');
INSERT INTO KVSYSTEM.Kvs112Mnd (MndLiz, MndNum, MndKon, MndSch) VALUES (1, 20, 1, 'OTHER');

-- Badges: open-ended, ended the day before, ending that day, starting later
-- that day, of the tenant without schema, with an apostrophe.
INSERT INTO KVSYSTEM.Kvs301Asw (AswNum, AswPnr, AswLiz, AswMnd, AswGVo, AswGbi) VALUES ('1001', '4711', 1, 10, '2000-01-01 00:00:00', NULL);
INSERT INTO KVSYSTEM.Kvs301Asw (AswNum, AswPnr, AswLiz, AswMnd, AswGVo, AswGbi) VALUES ('1002', '4712', 1, 10, '2000-01-01 00:00:00', '2007-01-24 00:00:00');
INSERT INTO KVSYSTEM.Kvs301Asw (AswNum, AswPnr, AswLiz, AswMnd, AswGVo, AswGbi) VALUES ('1003', '4713', 1, 10, '2000-01-01 00:00:00', '2007-01-25 00:00:00');
INSERT INTO KVSYSTEM.Kvs301Asw (AswNum, AswPnr, AswLiz, AswMnd, AswGVo, AswGbi) VALUES ('1004', '4714', 1, 10, '2007-01-25 08:00:00', NULL);
INSERT INTO KVSYSTEM.Kvs301Asw (AswNum, AswPnr, AswLiz, AswMnd, AswGVo, AswGbi) VALUES ('1005', '4715', 1, 20, '2000-01-01 00:00:00', NULL);
INSERT INTO KVSYSTEM.Kvs301Asw (AswNum, AswPnr, AswLiz, AswMnd, AswGVo, AswGbi) VALUES ('10''6', '4716', 1, 10, '2000-01-01 00:00:00', NULL);

-- Workstations (stored without leading zeros) and their cost centres.
INSERT INTO O1003KSTSTELLE (KstApz, KstNum) VALUES ('123', 'KST-0123');
INSERT INTO O1003KSTSTELLE (KstApz, KstNum) VALUES ('42', 'KST-0042');
INSERT INTO O1003KSTSTELLE (KstApz, KstNum) VALUES ('12''4', 'KST-O''HARA');

-- The text of the program's error number for a booking it could not store.
INSERT INTO Kvsystem.Kvs102Whl (FtxNumSpr, FtxWhl, FtxSpr, FtxDok) VALUES (8, 1065, 1, 'Buchung konnte nicht gespeichert werden');
