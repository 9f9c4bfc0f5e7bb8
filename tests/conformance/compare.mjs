// Compares what FreeTDS (through ODBC) and tedious saw of the same batches, and checks the DONE
// tokens tedious read against the rules SQL Server's token streams follow.

const APPROXIMATE = new Set(['SQL_DOUBLE', 'SQL_REAL', 'SQL_FLOAT', 'SQL_DECIMAL', 'SQL_NUMERIC']);

function sameValue(a, b, odbcType) {
  if (a === null || b === null) return a === b;
  if (APPROXIMATE.has(odbcType)) {
    // tedious hands numbers over as doubles; ODBC's text may be exact or written differently.
    const x = Number(a);
    const y = Number(b);
    return x === y || Math.abs(x - y) <= 1e-9 * Math.max(Math.abs(x), Math.abs(y));
  }
  // FreeTDS writes binary in lower case hex.
  if (['SQL_GUID', 'SQL_BINARY', 'SQL_VARBINARY', 'SQL_LONGVARBINARY'].includes(odbcType)) {
    return a.toUpperCase() === b.toUpperCase();
  }
  return a === b;
}

function show(value) {
  return JSON.stringify(value);
}

function itemKind(item) {
  if (item.rows) return 'rows';
  if (item.count !== undefined) return 'count';
  return item.failed ? 'failed' : item.kind;
}

export function describeItem(item) {
  if (item.rows) {
    return `rows(${item.rows.columns.map((c) => c.name).join(',')}; ${item.rows.rowCount})`;
  }
  if (item.count !== undefined) return `count ${item.count}`;
  if (item.failed) return `failed: ${item.failed}`;
  return `${item.kind} ${item.number}`;
}

// What ODBC can show of a server message. FreeTDS 1.3.17 has no SQL_DIAG_SS_SEVERITY and puts
// the class, not the state, into SQL_DIAG_SS_MSGSTATE; the state is only seen by tedious.
function compareMessage(where, odbc, tds, out) {
  const pairs = [['kind', 'kind'], ['number', 'number'], ['msgState', 'class'],
    ['class', 'class'], ['message', 'message']];
  for (const [odbcField, tdsField] of pairs) {
    if (odbcField in odbc && odbc[odbcField] !== tds[tdsField]) {
      out.push(`${where} ${tdsField}: FreeTDS ${show(odbc[odbcField])}, ` +
        `tedious ${show(tds[tdsField])}`);
    }
  }
}

function compareRows(where, odbc, tds, out) {
  if (odbc.columns.length !== tds.columns.length) {
    out.push(`${where}: FreeTDS ${odbc.columns.length} columns, tedious ${tds.columns.length}`);
    return;
  }
  odbc.columns.forEach((column, i) => {
    for (const field of ['name', 'type', 'size', 'digits', 'nullable']) {
      if (column[field] !== tds.columns[i][field]) {
        out.push(`${where} column ${i} (${column.name}) ${field}: FreeTDS ${show(column[field])}, ` +
          `tedious ${show(tds.columns[i][field])}`);
      }
    }
  });
  if (odbc.rowCount !== tds.rowCount) {
    out.push(`${where} rows: FreeTDS ${odbc.rowCount}, tedious ${tds.rowCount}`);
    return;
  }
  odbc.data.forEach((row, r) => {
    row.forEach((value, c) => {
      const other = tds.data[r][c];
      if (!sameValue(value, other, odbc.columns[c].type)) {
        out.push(`${where} row ${r} column ${c} (${odbc.columns[c].name}): FreeTDS ${show(value)}, ` +
          `tedious ${show(other)}`);
      }
    });
  });
}

// ODBC ranks the diagnostic records of one call errors first, so a run of messages is compared
// in that order.
function ranked(items) {
  const out = [];
  let run = [];
  const flush = () => {
    out.push(...run.filter((m) => m.kind === 'error'), ...run.filter((m) => m.kind !== 'error'));
    run = [];
  };
  for (const item of items) {
    if (item.kind) {
      run.push(item);
    } else {
      flush();
      out.push(item);
    }
  }
  flush();
  return out;
}

// An ODBC diagnostic record is a server's error or info by its class (FreeTDS gives the class
// where the state belongs, below; its SQLSTATE is 42000 for an info when the call failed).
function withKind(item) {
  if (!('sqlState' in item)) return item;
  const cls = item.class ?? item.msgState;
  const info = cls !== undefined ? cls <= 10 : item.sqlState.startsWith('01');
  return { kind: info ? 'info' : 'error', ...item };
}

export function compareItems(where, odbcInOrder, tdsInOrder, out) {
  const odbcItems = ranked(odbcInOrder.map(withKind));
  const tdsItems = ranked(tdsInOrder);
  const before = out.length;
  const kinds = (items) => items.map(describeItem).join(' | ');
  if (odbcItems.length !== tdsItems.length) {
    out.push(`${where}: different results\n    FreeTDS: ${kinds(odbcItems)}\n` +
      `    tedious: ${kinds(tdsItems)}`);
    return;
  }
  odbcItems.forEach((odbc, i) => {
    const tds = tdsItems[i];
    const at = `${where} item ${i}`;
    const kind = itemKind(odbc);
    if (kind === 'failed' || itemKind(tds) === 'failed' || kind !== itemKind(tds)) {
      // A client that failed on its own is a difference even where the other failed too.
      out.push(`${at}: FreeTDS ${describeItem(odbc)}, tedious ${describeItem(tds)}`);
    } else if (kind === 'rows') {
      compareRows(at, odbc.rows, tds.rows, out);
    } else if (kind === 'count') {
      if (odbc.count !== tds.count) out.push(`${at}: FreeTDS count ${odbc.count}, tedious ${tds.count}`);
    } else {
      compareMessage(at, odbc, tds, out);
    }
  });
  if (out.length > before) {
    out.push(`    FreeTDS: ${kinds(odbcItems)}\n    tedious: ${kinds(tdsItems)}`);
  }
}

// FreeTDS passes over the counts of a procedure's statements when the procedure also returns
// row sets (a procedure that only counts has its count as SQLRowCount).
function odbcVisible(items) {
  if (!items.some((item) => item.rows)) return items;
  return items.filter((item) => item.from !== 'DONEINPROC');
}

function label(index, sql) {
  const line = sql.split('\n')[0];
  return `batch ${index} "${line.length > 60 ? line.slice(0, 57) + '...' : line}"`;
}

// Every difference between the two recordings, one line (or block) each.
export function compareRecordings(odbc, tds) {
  const out = [];
  // FreeTDS keeps the login's messages to itself (SQLDriverConnect gives SQL_SUCCESS).
  if (odbc.login.length > 0) compareItems('login', odbc.login, tds.login, out);
  if (odbc.batches.length !== tds.batches.length) {
    out.push(`FreeTDS ran ${odbc.batches.length} batches, tedious ${tds.batches.length}`);
    return out;
  }
  odbc.batches.forEach((batch, i) => {
    compareItems(label(i, batch.sql), batch.items, odbcVisible(tds.batches[i].items), out);
  });
  return out;
}

// What SQL Server's DONE tokens say, checked on one batch's stream as tedious read it:
// DONE_MORE on every DONE but the last; DONE_ERROR exactly where the statement raised an error;
// DONE_COUNT with the number of rows after a row set; a procedure's statements end in
// DONEINPROC and the procedure in RETURNSTATUS and DONEPROC; nothing cancelled.
export function checkDoneTokens(index, batch) {
  const out = [];
  const where = label(index, batch.sql);
  const tokens = batch.tokens;
  const dones = tokens.map((t, i) => [t, i]).filter(([t]) => /^DONE/.test(t));
  if (dones.length === 0 || dones[dones.length - 1][1] !== tokens.length - 1) {
    out.push(`${where}: the response does not end with a DONE: ${tokens.join(' ')}`);
    return out;
  }
  const procedure = tokens[tokens.length - 1].startsWith('DONEPROC');
  let rows = null;
  let error = false;
  tokens.forEach((token, i) => {
    const at = `${where} token ${i} ${token}`;
    if (token.startsWith('COLMETADATA')) rows = 0;
    else if (token.startsWith('ROW x')) rows = Number(token.slice(5));
    else if (token.startsWith('ERROR')) error = true;
    if (!/^DONE/.test(token)) return;
    const [, name, flagText, count] = token.match(/^(\w+)\(([A-Z0-9|]+)(?:, (\d+))?\)$/);
    const flags = new Set(flagText.split('|'));
    const last = i === tokens.length - 1;
    if (flags.has('MORE') === last) out.push(`${at}: DONE_MORE ${last ? 'on the last DONE' : 'missing'}`);
    if (flags.has('ERROR') !== error) {
      out.push(`${at}: DONE_ERROR ${error ? 'missing after an error' : 'without an error'}`);
    }
    if (rows !== null && Number(count ?? -1) !== rows) {
      out.push(`${at}: after ${rows} rows, DONE_COUNT should say ${rows}`);
    }
    if (flags.has('ATTN') || flags.has('SRVERROR')) out.push(`${at}: unexpected ATTN/SRVERROR`);
    const expected = !procedure ? 'DONE' : last ? 'DONEPROC' : 'DONEINPROC';
    if (name !== expected) out.push(`${at}: ${expected} expected`);
    if (procedure && last && !tokens[i - 1]?.startsWith('RETURNSTATUS')) {
      out.push(`${at}: no RETURNSTATUS before the DONEPROC`);
    }
    rows = null;
    error = false;
  });
  return out;
}
