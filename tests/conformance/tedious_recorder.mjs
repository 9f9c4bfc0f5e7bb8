// What tedious, a TDS client that shares nothing with FreeTDS, sees of each batch: the token
// stream with every DONE's flags, and the same items as the ODBC recorder writes (messages, row
// sets with their columns as ODBC would type them, counts), values as ODBC's text would read.
import { createRequire } from 'node:module';

const require = createRequire(import.meta.url);
function load(name) {
  try {
    return require(name);
  } catch (error) {
    throw new Error(`${name} is not installed: run 'npm ci --prefix tests/conformance' ` +
      `(scripts/setup.sh does) (${error.message})`);
  }
}
const { Connection, Request } = load('tedious');
// The public done events carry DONE_MORE and the count but not DONE_ERROR or DONE_ATTN, and
// RETURNSTATUS only comes with the DONEPROC after it: the token handler is wrapped to announce
// those tokens whole, where they arrive.
const { RequestTokenHandler } = load('tedious/lib/token/handler');

for (const method of ['onDone', 'onDoneInProc', 'onDoneProc', 'onReturnStatus']) {
  const original = RequestTokenHandler.prototype[method];
  RequestTokenHandler.prototype[method] = function (token) {
    this.request.emit('wholeToken', token);
    return original.call(this, token);
  };
}

function pad(n, width = 2) {
  return String(n).padStart(width, '0');
}

function dateText(d) {
  return `${d.getUTCFullYear()}-${pad(d.getUTCMonth() + 1)}-${pad(d.getUTCDate())}`;
}

function dateTimeText(d, fractionDigits) {
  const time = `${pad(d.getUTCHours())}:${pad(d.getUTCMinutes())}:${pad(d.getUTCSeconds())}`;
  const fraction = fractionDigits > 0
    ? '.' + pad(d.getUTCMilliseconds(), 3).padEnd(fractionDigits, '0').slice(0, fractionDigits)
    : '';
  return `${dateText(d)} ${time}${fraction}`;
}

// The column as SQLDescribeCol reports it for the same TDS type: ODBC type, size, digits.
export function odbcColumn(metadata) {
  const type = metadata.type.name;
  const length = metadata.dataLength;
  const intTypes = { 1: ['SQL_TINYINT', 3], 2: ['SQL_SMALLINT', 5], 4: ['SQL_INTEGER', 10],
    8: ['SQL_BIGINT', 19] };
  const fixed = {
    TinyInt: intTypes[1], SmallInt: intTypes[2], Int: intTypes[4], BigInt: intTypes[8],
    // FreeTDS gives float and real their binary precision as the size, sql_variant 8000.
    Bit: ['SQL_BIT', 1], BitN: ['SQL_BIT', 1], Real: ['SQL_REAL', 24], Float: ['SQL_DOUBLE', 53],
    UniqueIdentifier: ['SQL_GUID', 36], Date: ['SQL_TYPE_DATE', 10],
    DateTime: ['SQL_TYPE_TIMESTAMP', 23, 3], SmallDateTime: ['SQL_TYPE_TIMESTAMP', 16, 0],
    Money: ['SQL_DECIMAL', 19, 4], SmallMoney: ['SQL_DECIMAL', 10, 4],
    Variant: ['SQL_SS_VARIANT', 8000],
  };
  let described;
  if (type in fixed) {
    described = fixed[type];
  } else if (type === 'IntN') {
    described = intTypes[length];
  } else if (type === 'FloatN') {
    described = length === 4 ? fixed.Real : fixed.Float;
  } else if (type === 'DateTimeN') {
    described = length === 4 ? fixed.SmallDateTime : fixed.DateTime;
  } else if (type === 'MoneyN') {
    described = length === 4 ? fixed.SmallMoney : fixed.Money;
  } else if (type === 'DecimalN' || type === 'Decimal') {
    described = ['SQL_DECIMAL', metadata.precision, metadata.scale];
  } else if (type === 'NumericN' || type === 'Numeric') {
    described = ['SQL_NUMERIC', metadata.precision, metadata.scale];
  } else if (type === 'DateTime2') {
    described = ['SQL_TYPE_TIMESTAMP', 19 + (metadata.scale > 0 ? metadata.scale + 1 : 0),
      metadata.scale];
  } else {
    const variable = {
      NVarChar: ['SQL_WVARCHAR', 2], NChar: ['SQL_WCHAR', 2], VarChar: ['SQL_VARCHAR', 1],
      Char: ['SQL_CHAR', 1], VarBinary: ['SQL_VARBINARY', 1], Binary: ['SQL_BINARY', 1],
    }[type];
    if (!variable) return { type: `tedious ${type}`, size: length, digits: 0 };
    // (max) types announce 0xFFFF and have no size.
    return { type: variable[0], size: length === 0xFFFF ? 0 : length / variable[1], digits: 0 };
  }
  return { type: described[0], size: described[1], digits: described[2] ?? 0 };
}

// The value as SQLGetData(SQL_C_CHAR) gives it for that column.
export function odbcText(value, metadata, odbcType) {
  if (value === null || value === undefined) return null;
  if (typeof value === 'boolean') return value ? '1' : '0';
  if (Buffer.isBuffer(value)) return value.toString('hex').toUpperCase();
  if (value instanceof Date) {
    if (odbcType === 'SQL_TYPE_DATE') return dateText(value);
    return dateTimeText(value, odbcType === 'SQL_TYPE_TIMESTAMP' ? (metadata.scale ?? 3) : 3);
  }
  return String(value);
}

// "DONEINPROC(MORE|COUNT, 2)", "DONEINPROC(MORE|ERROR)", "DONEPROC(0)": the status flags set,
// and the count where DONE_COUNT says it is valid.
export function doneText(token) {
  const flags = [['MORE', token.more], ['ERROR', token.sqlError],
    ['COUNT', token.rowCount !== undefined], ['ATTN', token.attention],
    ['SRVERROR', token.serverError]].filter(([, set]) => set).map(([name]) => name);
  const count = token.rowCount !== undefined ? `, ${token.rowCount}` : '';
  return `${token.name}(${flags.join('|') || '0'}${count})`;
}

function message(kind, token) {
  return { kind, number: token.number, state: token.state, class: token.class,
    message: token.message };
}

// `tdsVersion` as tedious names them ('7_1' ... '7_4'), `packetSize` in bytes.
export function connect(port, { encrypt = false, ca, tdsVersion = '7_4', packetSize = 4096 } = {}) {
  const connection = new Connection({
    server: '127.0.0.1',
    authentication: { type: 'default', options: { userName: 'sa', password: 'secret' } },
    options: {
      port,
      database: 'master',
      encrypt,
      // The test CA and the name its certificate holds, so that the certificate is checked.
      trustServerCertificate: false,
      serverName: 'localhost',
      cryptoCredentialsDetails: ca ? { ca } : {},
      tdsVersion,
      packetSize,
      connectTimeout: 10000,
      requestTimeout: 15000,
    },
  });
  const login = [];
  const onLoginInfo = (token) => login.push(message('info', token));
  connection.on('infoMessage', onLoginInfo);
  return new Promise((resolve, reject) => {
    connection.connect((error) => {
      connection.removeListener('infoMessage', onLoginInfo);
      if (error) reject(error);
      else resolve({ connection, login });
    });
  });
}

// Runs one batch; resolves with {sql, tokens, items}.
export function recordBatch(connection, sql) {
  const tokens = [];
  const items = [];
  let rows = null;  // the row set being read
  let columns = null;
  let rowTokens = 0;  // ROW tokens since the last other token
  const onInfo = (token) => {
    tokens.push(`INFO(${token.number})`);
    items.push(message('info', token));
  };
  const onError = (token) => {
    tokens.push(`ERROR(${token.number})`);
    items.push(message('error', token));
  };
  connection.on('infoMessage', onInfo);
  connection.on('errorMessage', onError);
  return new Promise((resolve) => {
    const request = new Request(sql, (error) => {
      connection.removeListener('infoMessage', onInfo);
      connection.removeListener('errorMessage', onError);
      // Errors the server sent are in `items`; anything else is the client's own failure.
      if (error && !error.number && !(error instanceof AggregateError)) {
        items.push({ failed: String(error.message) });
      }
      resolve({ sql, tokens, items });
    });
    request.on('columnMetadata', (metadata) => {
      columns = metadata;
      tokens.push(`COLMETADATA(${metadata.length})`);
      rowTokens = 0;
      rows = {
        columns: metadata.map((c) => ({ name: c.colName, ...odbcColumn(c),
          nullable: (c.flags & 0x01) !== 0 })),
        rowCount: 0,
        data: [],
      };
      items.push({ rows });
    });
    request.on('row', (values) => {
      // A run of rows as one entry: ROW x3.
      if (rowTokens++ > 0) tokens.pop();
      tokens.push(`ROW x${rowTokens}`);
      rows.data.push(values.map((v, i) =>
        odbcText(v.value, columns[i], rows.columns[i].type)));
      rows.rowCount += 1;
    });
    request.on('wholeToken', (token) => {
      if (token.name === 'RETURNSTATUS') {
        tokens.push(`RETURNSTATUS(${token.value})`);
        return;
      }
      tokens.push(doneText(token));
      rowTokens = 0;
      if (rows === null && token.rowCount !== undefined) {
        items.push({ count: token.rowCount, from: token.name });
      }
      rows = null;
    });
    connection.execSqlBatch(request);
  });
}

export async function recordAll(port, batches, options) {
  const { connection, login } = await connect(port, options);
  try {
    const results = [];
    for (const sql of batches) results.push(await recordBatch(connection, sql));
    return { client: 'tedious', login, batches: results };
  } finally {
    connection.close();
  }
}

// Runs `sql` and cancels it (an ATTENTION) after `afterMs`, or at the first row; resolves with
// the request's error code (ECANCEL when the server acknowledged the ATTENTION), the rows read
// and the time taken.
export function runCancelled(connection, sql, { afterMs, atFirstRow = false }) {
  const start = Date.now();
  let rows = 0;
  return new Promise((resolve) => {
    const request = new Request(sql, (error) => {
      resolve({ code: error?.code, rows, ms: Date.now() - start });
    });
    request.on('row', () => {
      if (rows++ === 0 && atFirstRow) connection.cancel();
    });
    connection.execSqlBatch(request);
    if (afterMs !== undefined) setTimeout(() => connection.cancel(), afterMs);
  });
}
