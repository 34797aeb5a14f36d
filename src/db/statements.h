#pragma once
// Every SQL statement text the program sends, each kept once: the program
// formats them, and the tests of the program and of the test database check
// against these same texts, so a change can never leave a test on a stale copy.
// Their blanks are part of them: operators compare them with server traces.
// Header only, without ODBC, so any test can include it.

/// Badge lookup: the badge, then the booking day as "20YY-MM-DD 00:00:00" twice.
inline constexpr char kBadgeLookupStatement[] =
    "SELECT AswPnr, AswLiz, AswMnd  FROM KVSYSTEM.Kvs301Asw  WHERE AswNum = '%s'   AND  "
    "AswGVo <= convert(DATETIME, '%s',120)   AND (AswGbi >= convert(DATETIME, '%s',120)   "
    "OR AswGbi IS NULL)";

/// Tenant schema lookup: licence and tenant number, unquoted numbers.
inline constexpr char kSchemaLookupStatement[] =
    " SELECT MndSch  FROM KVSYSTEM.Kvs112Mnd  WHERE MndLiz = %s  AND MndNum = %s  AND MndKon = 0 ";

/// Cost-centre lookup: the workstation without its leading zeros.
inline constexpr char kCostCentreLookupStatement[] = " SELECT KstNum  FROM O1003KSTSTELLE  WHERE KstApz= '%s' ";

/// Booking insert: personnel number, day text, day-and-time text, identifier,
/// cost centre. 25 is the function code of a cost-centre change.
inline constexpr char kBookingInsertStatement[] =
    "INSERT INTO KVS321BCH  (BchPnr, BchVon, BchUhr, BchFkt, BchFcd, BchKst)  VALUES('%s',  "
    "convert(DATETIME,'%s', 120),  convert(DATETIME,'%s', 120),  25, '%s','%s')";

/// Text of a program error number (long) in the batch programs' range, German.
inline constexpr char kErrorTextLookupStatement[] =
    "SELECT FtxDok   FROM Kvsystem.Kvs102Whl  WHERE FtxNumSpr = 8    AND FtxWhl = %ld    AND FtxSpr = 1";

/// Run-log row: LogPrg, LogStz, LogPrm, LogSch, LogPnr (texts), LogDtm (long,
/// yyyymmdd), LogMod, LogFkt (texts), LogTErr (long), LogTTxt (text), LogSErr
/// (long), LogSTxt, LogMsg (texts), LogTyp (long). It ends in one blank.
inline constexpr char kRunLogInsertStatement[] =
    "INSERT INTO KvSystem.Kvs001Log  (LogPrg, LogStz, LogPrm, LogSch,   LogPnr, LogDtm, LogMod, LogFkt,   "
    "LogTErr, LogTTxt, LogSErr, LogSTxt,   LogMsg, LogTyp, LogDat)  VALUES    ('%s', '%s', '%s', '%s',     "
    "'%s', convert(DATETIME,'%ld', 112), '%s', '%s',     %ld, '%s', %ld, '%s',     '%s', %ld, "
    "CURRENT_TIMESTAMP) ";

/// What frames a request of booking INSERTs: one transaction, committed at
/// its end, and the row after the commit that says it completed (0 open
/// transactions).
inline constexpr char kBeginTransactionStatement[] = "BEGIN TRANSACTION";
inline constexpr char kCommitTransactionStatement[] = "COMMIT TRANSACTION";
inline constexpr char kTranCountStatement[] = "SELECT @@TRANCOUNT";
/// Ends what a cancelled or cut-short request left open.
inline constexpr char kRollbackOpenTransactionStatement[] = "IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION";

/// The session options the program relies on, set on every connection: a
/// site's defaults must not turn one booking's duplicate into the loss of its
/// request (XACT_ABORT), leave every INSERT uncommitted (IMPLICIT_TRANSACTIONS)
/// or take the row counts away (NOCOUNT).
inline constexpr const char* kSessionOptionStatements[] = {
    "SET XACT_ABORT OFF",
    "SET IMPLICIT_TRANSACTIONS OFF",
    "SET NOCOUNT OFF",
};
