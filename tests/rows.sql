SELECT 'BCH', BchPnr, BchVon, BchUhr, BchFkt, BchFcd, BchKst FROM KVS321BCH ORDER BY BchPnr, BchUhr;
SELECT 'LOG', LogPrg, LogPrm, LogSch, LogPnr, LogDtm, LogMod, LogFkt, LogTErr, LogTTxt, LogSErr, LogSTxt, LogMsg, LogTyp FROM KvSystem.Kvs001Log ORDER BY LogPnr, LogDtm, LogSErr;
SELECT 'LOGRUNS', COUNT(DISTINCT LogStz) FROM KvSystem.Kvs001Log;
