DROP TABLE KVSYSTEM.Kvs301Asw;
CREATE TABLE KVSYSTEM.Kvs301Asw (
  AswNum varchar(13) NOT NULL,
  AswGVo datetime    NOT NULL,
  AswGbi datetime    NULL,
  AswPnr varchar(20) NULL,
  AswLiz varchar(20) NULL,
  AswMnd varchar(30) NULL
);
INSERT INTO KVSYSTEM.Kvs301Asw (AswNum, AswPnr, AswLiz, AswMnd, AswGVo, AswGbi) VALUES ('2001', NULL, '1', '10', '2000-01-01 00:00:00', NULL);
INSERT INTO KVSYSTEM.Kvs301Asw (AswNum, AswPnr, AswLiz, AswMnd, AswGVo, AswGbi) VALUES ('2002', '123456789', '1', '10', '2000-01-01 00:00:00', NULL);
INSERT INTO KVSYSTEM.Kvs301Asw (AswNum, AswPnr, AswLiz, AswMnd, AswGVo, AswGbi) VALUES ('2003', '12345678      ', '1', '10', '2000-01-01 00:00:00', NULL);
INSERT INTO KVSYSTEM.Kvs301Asw (AswNum, AswPnr, AswLiz, AswMnd, AswGVo, AswGbi) VALUES ('2004', '4804', '1 OR 1', '10', '2000-01-01 00:00:00', NULL);
INSERT INTO KVSYSTEM.Kvs301Asw (AswNum, AswPnr, AswLiz, AswMnd, AswGVo, AswGbi) VALUES ('2005', '4805', '1', '123456789012345678901234', '2000-01-01 00:00:00', NULL);
INSERT INTO KVSYSTEM.Kvs301Asw (AswNum, AswPnr, AswLiz, AswMnd, AswGVo, AswGbi) VALUES ('2006', '4806', NULL, '10', '2000-01-01 00:00:00', NULL);
