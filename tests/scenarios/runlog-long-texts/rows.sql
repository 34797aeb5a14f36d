-- The error text is shortened by what the statement cannot hold, which
-- depends on the length of the driver's message: show its start and that it
-- was shortened, not kept whole or dropped, and every other field exactly.
SELECT 'BCH', BchPnr, BchVon, BchUhr, BchFkt, BchFcd, BchKst FROM KVS321BCH ORDER BY BchPnr, BchUhr;
SELECT 'LOG', LogPrg, LogPrm, LogSch, LogPnr, LogDtm, LogMod, LogFkt, LogTErr, SUBSTRING(LogTTxt, 1, 12), CASE WHEN LEN(LogTTxt) > 60 AND LEN(LogTTxt) < 256 THEN 'shortened' ELSE 'NOT SHORTENED AS IT SHOULD BE' END, LogSErr, LogSTxt, LogMsg, LogTyp FROM KvSystem.Kvs001Log;
SELECT 'LOGRUNS', COUNT(DISTINCT LogStz) FROM KvSystem.Kvs001Log;
