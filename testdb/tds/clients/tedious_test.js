// tedious, a TDS client written independently of FreeTDS, against the test
// database's server: a login without TLS, a batch whose rows arrive with
// their types, an error with SQL Server's number, state and class, and an RPC
// request refused with a clear message; batches as SQL Server runs them
// (statements on their own lines, a duplicate key ending only its statement
// with its line, a conversion error ending the batch, XACT_ABORT rolling back).
//
//   node tedious_test.js PORT DATABASE LOGIN PASSWORD
'use strict';
const assert = require('assert');
const { Connection, Request } = require('tedious');

const [port, database, userName, password] = process.argv.slice(2);

function connect() {
  return new Promise((resolve, reject) => {
    const connection = new Connection({
      server: '127.0.0.1',
      authentication: { type: 'default', options: { userName, password } },
      options: { port: Number(port), database, encrypt: false, connectTimeout: 5000, requestTimeout: 5000 },
    });
    connection.on('connect', (err) => (err ? reject(err) : resolve(connection)));
    connection.connect();
  });
}

// Runs a batch; resolves with its rows (column name -> {type, value}) or rejects with the error.
function batch(connection, sql, rpc = false) {
  return new Promise((resolve, reject) => {
    const rows = [];
    const request = new Request(sql, (err) => (err ? reject(err) : resolve(rows)));
    request.on('row', (columns) => {
      const row = {};
      for (const c of columns) row[c.metadata.colName] = { type: c.metadata.type.name, value: c.value };
      rows.push(row);
    });
    if (rpc) connection.execSql(request);
    else connection.execSqlBatch(request);
  });
}

// Runs a batch; resolves with the row counts of its DONE tokens that carry one,
// the errors (number and line) and the rows, whatever failed.
function statements(connection, sql) {
  return new Promise((resolve) => {
    const result = { counts: [], errors: [], rows: [] };
    const onError = (e) => result.errors.push([e.number, e.lineNumber]);
    connection.on('errorMessage', onError);
    const request = new Request(sql, () => {
      connection.removeListener('errorMessage', onError);
      resolve(result);
    });
    request.on('done', (rowCount) => {
      if (rowCount !== undefined) result.counts.push(rowCount);
    });
    request.on('row', (columns) => result.rows.push(columns.map((c) => c.value)));
    connection.execSqlBatch(request);
  });
}

async function main() {
  const connection = await connect();
  try {
    const rows = await batch(connection,
      "CREATE TABLE t (n int NOT NULL, v varchar(10), c char(4), d datetime);\n" +
      "INSERT INTO t VALUES (7, 'K\u00f6ln \u20ac', 'ab', '2024-01-31 12:34:56.007');\n" +
      "INSERT INTO t VALUES (8, NULL, NULL, NULL);\n" +
      "SELECT n, v, c, d FROM t ORDER BY n");
    assert.strictEqual(rows.length, 2);
    assert.deepStrictEqual(rows[0].n, { type: 'IntN', value: 7 });
    assert.deepStrictEqual(rows[0].v, { type: 'VarChar', value: 'K\u00f6ln \u20ac' });
    assert.deepStrictEqual(rows[0].c, { type: 'Char', value: 'ab  ' });
    assert.strictEqual(rows[0].d.type, 'DateTimeN');
    assert.strictEqual(rows[0].d.value.toISOString(), '2024-01-31T12:34:56.007Z');
    assert.strictEqual(rows[1].v.value, null);
    assert.strictEqual(rows[1].d.value, null);

    await assert.rejects(batch(connection, 'SELECT * FROM nowhere'), (err) => {
      assert.strictEqual(err.number, 208);
      assert.strictEqual(err.state, 1);
      assert.strictEqual(err.class, 16);
      assert.strictEqual(err.message, "Invalid object name 'nowhere'.");
      assert.strictEqual(err.serverName, 'dulmar-testdb');
      return true;
    });
    await assert.rejects(batch(connection, 'SELECT 1', true), /RPC requests .* are refused/);
    // the connection goes on after both
    const again = await batch(connection, 'SELECT COUNT(*) AS k FROM t');
    assert.strictEqual(again[0].k.value, 2);

    let r = await statements(connection,
      'CREATE TABLE k (a int NOT NULL PRIMARY KEY)\nINSERT INTO k VALUES (1)\nINSERT INTO k VALUES (1)\n' +
      'INSERT INTO k VALUES (2)\nSELECT COUNT(*) FROM k');
    assert.deepStrictEqual(r.errors, [[2627, 3]]);
    assert.deepStrictEqual(r.rows, [[2]]);
    assert.deepStrictEqual(r.counts, [1, 1, 1]);
    r = await statements(connection,
      "INSERT INTO k VALUES (5)\nINSERT INTO k VALUES ('x')\nINSERT INTO k VALUES (6)\nSELECT 0");
    assert.deepStrictEqual(r.errors, [[245, 2]]);
    assert.deepStrictEqual(r.rows, []);
    r = await statements(connection,
      'SET XACT_ABORT ON\nBEGIN TRAN\nINSERT INTO k VALUES (7)\nINSERT INTO k VALUES (1)\nCOMMIT\n' +
      'SET XACT_ABORT OFF');
    assert.deepStrictEqual(r.errors, [[2627, 4]]);
    r = await statements(connection, 'SELECT a FROM k ORDER BY a\nSELECT @@TRANCOUNT');
    assert.deepStrictEqual(r.rows, [[1], [2], [5], [0]]);
  } finally {
    connection.close();
  }
  console.log('tedious test passed');
}

main().catch((err) => {
  console.error('tedious test FAILED:', err);
  process.exit(1);
});
