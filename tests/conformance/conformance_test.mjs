// The simulator read by two independent TDS clients. The batches a demo report sends (as the
// simulator logs them) go to FreeTDS through unixODBC and to tedious, over a plain and a TLS
// connection, and both must see the same messages, row sets and values; tedious's DONE tokens
// are checked against SQL Server's rules, and the file walk's stream with refused databases
// against the exact tokens SQL Server sends.
//
//   node conformance_test.mjs SQLSERVER_SIM QUORVANE_REPORT FREETDS_RECORDER DEMO_SCENARIO
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFile, execFileSync, spawn } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { promisify } from 'node:util';

import { checkDoneTokens, compareRecordings } from './compare.mjs';
import { connect, recordAll, recordBatch, runCancelled } from './tedious_recorder.mjs';

const [simulator, reportCommand, freetdsRecorder, demoScenarioPath] = process.argv.slice(2);
const WALK = "EXEC sp_MSforeachdb 'USE [?]; EXEC sp_helpfile; EXEC sp_spaceused;'";

let work;
let certificates;
let demoBatches;
let demoRecording;  // both clients' view of the demo report, plain

// Starts the simulator on a free port; resolves once it listens.
function startSimulator(args) {
  const child = spawn(simulator, [...args, '--port', '0'], { stdio: ['ignore', 'pipe', 'pipe'] });
  let stderr = '';
  child.stderr.on('data', (d) => { stderr += d; });
  return new Promise((resolve, reject) => {
    let stdout = '';
    child.stdout.on('data', (d) => {
      stdout += d;
      const match = stdout.match(/listening on [\d.]+:(\d+)/);
      if (match) {
        resolve({
          port: Number(match[1]),
          stop: () => new Promise((done) => {
            child.once('exit', done);
            child.kill('SIGTERM');
          }),
        });
      }
    });
    child.once('exit', (code) => reject(new Error(`simulator ended (${code}): ${stderr}`)));
  });
}

function makeCertificates(folder) {
  const openssl = (...args) => execFileSync('openssl', args, { stdio: 'ignore' });
  const key = ['-newkey', 'ec', '-pkeyopt', 'ec_paramgen_curve:prime256v1', '-nodes'];
  const file = (name) => join(folder, name);
  openssl('req', '-x509', '-days', '2', ...key, '-keyout', file('ca.key'), '-out', file('ca.pem'),
    '-subj', '/CN=Quorvane Conformance CA');
  openssl('req', '-new', ...key, '-keyout', file('server.key'), '-out', file('server.csr'),
    '-subj', '/CN=localhost');
  writeFileSync(file('server.ext'), 'subjectAltName=DNS:localhost,IP:127.0.0.1\n');
  openssl('x509', '-req', '-days', '2', '-in', file('server.csr'), '-CA', file('ca.pem'),
    '-CAkey', file('ca.key'), '-CAcreateserial', '-out', file('server.pem'),
    '-extfile', file('server.ext'));
  return { ca: file('ca.pem'), certificate: file('server.pem'), key: file('server.key') };
}

// The batches of one demo report, in the order sent, each once.
async function recordDemoBatches() {
  const log = join(work, 'batches.log');
  const server = await startSimulator(['--demo', '--log', log]);
  try {
    await promisify(execFile)(reportCommand,
      ['--server', `127.0.0.1,${server.port}`, '--login', 'sa', '-o', join(work, 'demo.htm')],
      { env: { ...process.env, QUORVANE_PASSWORD: 'secret' } })
      .catch((error) => {
        // Status 1: written with exceptions, which the demo has (one offline database).
        if (error.code !== 1) throw error;
      });
  } finally {
    await server.stop();
  }
  const batches = readFileSync(log, 'utf8').split('\nGO\n').filter((b) => b.length > 0);
  return [...new Set(batches)];
}

// `count`: the DONEINPROC after the error carries DONE_COUNT with it.
function refused(database, count) {
  return { error: { number: 916, class: 14, state: 1, text: `The server principal ` +
    `"quorvane_audit" is not able to access the database "${database}" under the current ` +
    'security context.', ...(count === undefined ? {} : { count }) } };
}

// The demo scenario with the file walk's answer changed, and TLS required when `tls`.
function scenarioFile(name, patchWalk, tls, extraRules = []) {
  const scenario = JSON.parse(readFileSync(demoScenarioPath, 'utf8'));
  scenario.batches.push(...extraRules);
  const walk = scenario.batches.find((b) => b.sql === WALK);
  walk.results = patchWalk(walk.results);
  if (tls) scenario.encryption = { ...certificates, ca: undefined, required: true };
  const path = join(work, `${name}-${tls ? 'tls' : 'plain'}.json`);
  writeFileSync(path, JSON.stringify(scenario));
  return { path, walk };
}

// The tokens SQL Server sends for the walk's results inside sp_MSforeachdb.
function expectedWalkTokens(results) {
  const tokens = [];
  for (const item of results) {
    if (item.rows) {
      tokens.push(`COLMETADATA(${item.rows.columns.length})`, `ROW x${item.rows.data.length}`,
        `DONEINPROC(MORE|COUNT, ${item.rows.data.length})`);
    } else if (item.info) {
      tokens.push(`INFO(${item.info.number})`);
    } else if (item.error) {
      const count = item.error.count;
      tokens.push(`ERROR(${item.error.number})`,
        count === undefined ? 'DONEINPROC(MORE|ERROR)' : `DONEINPROC(MORE|ERROR|COUNT, ${count})`);
    }
  }
  return [...tokens, 'RETURNSTATUS(0)', 'DONEPROC(0)'];
}

// The TDS versions as tedious names them (FreeTDS's 7.3 is 7.3B).
const TEDIOUS_VERSIONS = { '7.1': '7_1', '7.2': '7_2', '7.3': '7_3_B', '7.4': '7_4' };

// `scenario`: a scenario file, or the simulator's arguments that choose one.
async function runBoth(scenario, tls, batches, tdsVersion = '7.4') {
  const server = await startSimulator(Array.isArray(scenario) ? scenario : [scenario]);
  try {
    const batchFile = join(work, 'batches.json');
    const odbcFile = join(work, 'freetds.json');
    writeFileSync(batchFile, JSON.stringify(batches));
    await promisify(execFile)(freetdsRecorder,
      [String(server.port), tls ? 'require' : 'off', tdsVersion, batchFile, odbcFile]);
    const odbc = JSON.parse(readFileSync(odbcFile, 'utf8'));
    // Over TLS in the smallest packets, so that responses span many packets and records.
    const tds = await recordAll(server.port, batches, {
      tdsVersion: TEDIOUS_VERSIONS[tdsVersion],
      ...(tls ? { encrypt: true, ca: readFileSync(certificates.ca), packetSize: 512 } : {}),
    });
    return { odbc, tds };
  } finally {
    await server.stop();
  }
}

// The login reply's messages, then the answer to the SET LANGUAGE that tedious sends after
// the login, as SQL Server sends them (only tedious shows them).
const languageSet = { kind: 'info', number: 5703, state: 1, class: 0,
  message: 'Changed language setting to us_english.' };
const LOGIN_MESSAGES = [
  { kind: 'info', number: 5701, state: 2, class: 0,
    message: "Changed database context to 'master'." },
  languageSet,
  languageSet,
];

function assertAgree({ odbc, tds }) {
  assert.deepEqual(tds.login, LOGIN_MESSAGES);
  const problems = [
    ...compareRecordings(odbc, tds),
    ...tds.batches.flatMap((batch, i) => checkDoneTokens(i, batch)),
  ];
  assert.deepEqual(problems, [], `the two clients disagree:\n${problems.join('\n')}`);
}

before(async () => {
  work = mkdtempSync(join(tmpdir(), 'quorvane-conformance-'));
  certificates = makeCertificates(work);
  demoBatches = await recordDemoBatches();
});

after(() => rmSync(work, { recursive: true, force: true }));

// An INFO (class 10) just before a refusal: ODBC ranks it after the error of the same call.
const noUser = { info: { number: 15622, class: 10, state: 1,
  text: "No permission to access database 'HR'." } };

const walkVariants = {
  "an offline database in the middle (the demo's)": (results) => results,
  'a refused first database': (results) => [refused('HR'), ...results],
  'two refused databases first': (results) => [refused('HR'), refused('Payroll'), ...results],
  'a refused last database': (results) => [...results, refused('Payroll')],
  'a message before a refused first database': (results) => [noUser, refused('HR'), ...results],
  'a refused first database whose DONEINPROC has a count': (results) =>
    [refused('HR', 0), ...results],
};

// Beyond the report's own: a database change (ENVCHANGE and INFO) and the errors of a batch no
// rule knows, outside a procedure (ERROR and DONE with DONE_ERROR).
const EXTRA_BATCHES = ['USE msdb', 'EXEC dbo.sp_nosuch', 'SELECT name FROM dbo.nosuch', 'USE master'];

for (const tls of [false, true]) {
  const transport = tls ? 'TLS' : 'a plain connection';

  test(`every batch of the demo report over ${transport}`, async () => {
    assert.ok(demoBatches.length >= 50, `only ${demoBatches.length} batches logged`);
    assert.ok(demoBatches.includes(WALK), 'the report sent no file walk');
    const { path } = scenarioFile('demo', (r) => r, tls);
    const recorded = await runBoth(path, tls, [...demoBatches, ...EXTRA_BATCHES]);
    if (!tls) demoRecording = recorded;
    assertAgree(recorded);
  });

  for (const [name, patch] of Object.entries(walkVariants)) {
    test(`the file walk with ${name} over ${transport}`, async () => {
      const { path, walk } = scenarioFile('walk', patch, tls);
      const recorded = await runBoth(path, tls, [WALK]);
      assert.deepEqual(recorded.tds.batches[0].tokens, expectedWalkTokens(walk.results));
      // Number, class, state and text as the scenario has them: what ODBC cannot check.
      const sent = walk.results.filter((r) => r.error || r.info).map((r) => {
        const m = r.error ?? r.info;
        return { kind: r.error ? 'error' : 'info', number: m.number, state: m.state,
          class: m.class, message: m.text };
      });
      assert.deepEqual(recorded.tds.batches[0].items.filter((i) => i.kind), sent);
      assertAgree(recorded);
    });
  }
}

// Before 7.3 the date types go as text, before 7.2 the (max) types as text/ntext/image.
for (const version of ['7.1', '7.2', '7.3']) {
  test(`every batch of the demo report at TDS ${version}`, async () => {
    const { path } = scenarioFile('demo', (r) => r, false);
    assertAgree(await runBoth(path, false, [...demoBatches, ...EXTRA_BATCHES], version));
  });
}

// The demo as an auditor's login sees it: refusals (229, 916, 15247, ...) all over the report.
test('every batch of the demo report against the least-privilege instance', async () => {
  const recorded = await runBoth(['--demo', '--least-privilege'], false, demoBatches);
  const errors = recorded.tds.batches.flatMap((b) => b.items.filter((i) => i.kind === 'error'));
  assert.ok(errors.length >= 5, `only ${errors.length} errors: not the least-privilege answers`);
  assertAgree(recorded);
});

test('a cancelled batch: the response ends, then the ATTENTION is acknowledged on its own', async () => {
  // Job history grown to 200,000 rows (streamed in 64 KB pieces), and a statement that waits.
  const waiting = "WAITFOR DELAY '00:00:30'";
  const { path } = scenarioFile('cancel', (r) => r, false,
    [{ sql: waiting, results: [{ delay_ms: 30000 }] }]);
  const history = demoBatches.find((b) => b.includes('FROM msdb.dbo.sysjobhistory sjh'));
  const server = await startSimulator([path, '--scale', 'rows=200000']);
  const { connection } = await connect(server.port);
  try {
    for (const [sql, how] of [[waiting, { afterMs: 200 }], [history, { atFirstRow: true }]]) {
      const cancelled = await runCancelled(connection, sql, how);
      assert.equal(cancelled.code, 'ECANCEL', `${sql.slice(0, 40)}: ${JSON.stringify(cancelled)}`);
      assert.ok(cancelled.ms < 3000, `the cancel took ${cancelled.ms} ms`);
      assert.ok(cancelled.rows < 200000, 'the whole row set came');
      // The connection goes on, in step with the server.
      const next = await recordBatch(connection, 'select @@version');
      assert.deepEqual(next.tokens, ['COLMETADATA(1)', 'ROW x1', 'DONE(COUNT, 1)']);
    }
  } finally {
    connection.close();
    await server.stop();
  }
});

test('the comparison sees a changed value, a lost row set and a missing DONE_MORE', () => {
  assert.ok(demoRecording, 'the plain demo run recorded nothing');
  const walk = demoRecording.tds.batches.findIndex((b) => b.sql === WALK);
  const changed = (edit) => {
    const tds = structuredClone(demoRecording.tds);
    edit(tds.batches[walk]);
    return [...compareRecordings(demoRecording.odbc, tds), ...checkDoneTokens(walk, tds.batches[walk])];
  };
  assert.match(changed((b) => { b.items[0].rows.data[1][4] = '2049 KB'; }).join('\n'),
    /row 1 column 4 \(size\): FreeTDS "2048 KB", tedious "2049 KB"/);
  assert.match(changed((b) => { b.items.splice(0, 1); }).join('\n'), /different results/);
  assert.match(changed((b) => { b.tokens[2] = 'DONEINPROC(COUNT, 2)'; }).join('\n'),
    /DONE_MORE missing/);
});
