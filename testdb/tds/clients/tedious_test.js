// tedious, a TDS client written independently of FreeTDS, against the test
// database's server: a login without TLS, a batch whose rows arrive with
// their types, an error with SQL Server's number, state and class, and an RPC
// request refused with a clear message.
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
  } finally {
    connection.close();
  }
  console.log('tedious test passed');
}

main().catch((err) => {
  console.error('tedious test FAILED:', err);
  process.exit(1);
});
