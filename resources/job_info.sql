DECLARE @is_sysadmin INT
DECLARE @job_owner sysname

-- Live state of every job the login may see, as the Agent reports it.
CREATE TABLE #job_execution_state
(
	job_id                  UNIQUEIDENTIFIER NOT NULL,
	date_started            INT              NOT NULL,
	time_started            INT              NOT NULL,
	execution_job_status    INT              NOT NULL,
	execution_step_id       INT              NULL,
	execution_step_name     sysname          COLLATE database_default NULL,
	execution_retry_attempt INT              NOT NULL,
	next_run_date           INT              NOT NULL,
	next_run_time           INT              NOT NULL,
	next_run_schedule_id    INT              NOT NULL
)

CREATE TABLE #filtered_jobs
(
	job_id                   UNIQUEIDENTIFIER NOT NULL,
	date_created             DATETIME         NOT NULL,
	date_last_modified       DATETIME         NOT NULL,
	current_execution_status INT              NULL,
	current_execution_step   NVARCHAR(400)    COLLATE database_default NULL,
	current_retry_attempt    INT              NULL,
	last_run_date            INT              NOT NULL,
	last_run_time            INT              NOT NULL,
	last_run_outcome         INT              NOT NULL,
	next_run_date            INT              NULL,
	next_run_time            INT              NULL,
	next_run_schedule_id     INT              NULL,
	[type]                   INT              NOT NULL
)

-- The columns of master.dbo.xp_sqlagent_enum_jobs, in its order.
CREATE TABLE #xp_results
(
	job_id                UNIQUEIDENTIFIER NOT NULL,
	last_run_date         INT              NOT NULL,
	last_run_time         INT              NOT NULL,
	next_run_date         INT              NOT NULL,
	next_run_time         INT              NOT NULL,
	next_run_schedule_id  INT              NOT NULL,
	requested_to_run      INT              NOT NULL,
	request_source        INT              NOT NULL,
	request_source_id     sysname          COLLATE database_default NULL,
	running               INT              NOT NULL,
	current_step          INT              NOT NULL,
	current_retry_attempt INT              NOT NULL,
	job_state             INT              NOT NULL
)

SET @is_sysadmin = ISNULL(IS_SRVROLEMEMBER(N'sysadmin'), 0)
-- Members of the Agent reader and operator roles of msdb may see the live state of every job
-- too, as the job procedures of msdb allow; the roles are asked for in msdb.
IF (@is_sysadmin = 0)
	EXECUTE msdb.dbo.sp_executesql
		N'SELECT @all = CASE WHEN ISNULL(IS_MEMBER(N''SQLAgentReaderRole''), 0) = 1 OR ISNULL(IS_MEMBER(N''SQLAgentOperatorRole''), 0) = 1 THEN 1 ELSE 0 END',
		N'@all INT OUTPUT', @all = @is_sysadmin OUTPUT
SET @job_owner = SUSER_SNAME()

IF ((@@microsoftversion / 0x01000000) >= 8)
	INSERT INTO #xp_results EXECUTE master.dbo.xp_sqlagent_enum_jobs @is_sysadmin, @job_owner, null
ELSE
	INSERT INTO #xp_results EXECUTE master.dbo.xp_sqlagent_enum_jobs @is_sysadmin, @job_owner

INSERT INTO #job_execution_state
SELECT xpr.job_id,
	xpr.last_run_date,
	xpr.last_run_time,
	xpr.job_state,
	sjs.step_id,
	sjs.step_name,
	xpr.current_retry_attempt,
	xpr.next_run_date,
	xpr.next_run_time,
	xpr.next_run_schedule_id
FROM #xp_results xpr
	LEFT OUTER JOIN msdb.dbo.sysjobsteps sjs ON ((xpr.job_id = sjs.job_id) AND (xpr.current_step = sjs.step_id)),
	msdb.dbo.sysjobs_view sjv
WHERE (sjv.job_id = xpr.job_id)

-- Jobs the Agent did not report are idle (status 4); last run comes from sysjobservers below.
INSERT INTO #filtered_jobs
SELECT sjv.job_id,
	sjv.date_created,
	sjv.date_modified,
	ISNULL(jes.execution_job_status, 4),
	CASE ISNULL(jes.execution_step_id, 0) WHEN 0 THEN NULL ELSE CONVERT(NVARCHAR, jes.execution_step_id) + N' (' + jes.execution_step_name + N')' END,
	jes.execution_retry_attempt,
	0,
	0,
	5,
	jes.next_run_date,
	jes.next_run_time,
	jes.next_run_schedule_id,
	0
FROM msdb.dbo.sysjobs_view sjv
	LEFT OUTER JOIN #job_execution_state jes ON (sjv.job_id = jes.job_id)

-- An idle multi-server job has no status of its own here: its targets run it.
UPDATE #filtered_jobs
SET current_execution_status = NULL
WHERE (current_execution_status = 4)
	AND (job_id IN (SELECT job_id FROM msdb.dbo.sysjobservers WHERE (server_id <> 0)))

-- With target servers a job has several sysjobservers rows: take the latest run of them.
IF (EXISTS (SELECT * FROM msdb.dbo.systargetservers))
	UPDATE fj
	SET last_run_date = sjs.last_run_date,
		last_run_time = sjs.last_run_time,
		last_run_outcome = sjs.last_run_outcome
	FROM #filtered_jobs fj,
		msdb.dbo.sysjobservers sjs
	WHERE ((CONVERT(FLOAT, sjs.last_run_date) * 1000000) + sjs.last_run_time = 
		(SELECT MAX((CONVERT(FLOAT, last_run_date) * 1000000) + last_run_time) 
		FROM msdb.dbo.sysjobservers
		WHERE (job_id = sjs.job_id)))
		AND (fj.job_id = sjs.job_id)
ELSE
	UPDATE fj
	SET last_run_date = sjs.last_run_date,
		last_run_time = sjs.last_run_time,
		last_run_outcome = sjs.last_run_outcome
	FROM #filtered_jobs fj,
		msdb.dbo.sysjobservers sjs
	WHERE (fj.job_id = sjs.job_id)

-- 1: local job, 2: multi-server job (wins when a job is both), 0: neither.
UPDATE #filtered_jobs
SET [type] = 1
WHERE (job_id IN (SELECT job_id FROM msdb.dbo.sysjobservers WHERE (server_id = 0)))

UPDATE #filtered_jobs
SET [type] = 2
WHERE (job_id IN (SELECT job_id FROM msdb.dbo.sysjobservers WHERE (server_id <> 0)))

SELECT sjv.job_id,
	sjv.originating_server,
	sjv.name,
	sjv.enabled,
	sjv.description,
	sjv.start_step_id,
	category = ISNULL(sc.name, FORMATMESSAGE(14205)),
	owner = SUSER_SNAME(sjv.owner_sid),
	sjv.notify_level_eventlog,
	sjv.notify_level_email,
	sjv.notify_level_netsend,
	sjv.notify_level_page,
	notify_email_operator = ISNULL(so1.name, FORMATMESSAGE(14205)),
	notify_netsend_operator = ISNULL(so2.name, FORMATMESSAGE(14205)),
	notify_page_operator = ISNULL(so3.name, FORMATMESSAGE(14205)),
	sjv.delete_level,
	sjv.date_created,
	sjv.date_modified,
	sjv.version_number,
	fj.last_run_date,
	fj.last_run_time,
	fj.last_run_outcome,
	next_run_date = ISNULL(fj.next_run_date, 0),
	next_run_time = ISNULL(fj.next_run_time, 0),
	next_run_schedule_id = ISNULL(fj.next_run_schedule_id, 0),
	current_execution_status = ISNULL(fj.current_execution_status, 0),
	current_execution_step = ISNULL(fj.current_execution_step, N'0 ' + FORMATMESSAGE(14205)),
	current_retry_attempt = ISNULL(fj.current_retry_attempt, 0),
	has_step = (SELECT COUNT(*) FROM msdb.dbo.sysjobsteps sjst WHERE (sjst.job_id = sjv.job_id)),
	has_schedule = (SELECT COUNT(*) FROM msdb.dbo.sysjobschedules sjsch WHERE (sjsch.job_id = sjv.job_id)),
	has_target = (SELECT COUNT(*) FROM msdb.dbo.sysjobservers sjs WHERE (sjs.job_id = sjv.job_id)),
	[type] = fj.[type] 
INTO #JobInfo 
FROM #filtered_jobs fj
	LEFT OUTER JOIN msdb.dbo.sysjobs_view sjv ON (fj.job_id = sjv.job_id)
	LEFT OUTER JOIN msdb.dbo.sysoperators so1 ON (sjv.notify_email_operator_id = so1.id)
	LEFT OUTER JOIN msdb.dbo.sysoperators so2 ON (sjv.notify_netsend_operator_id = so2.id)
	LEFT OUTER JOIN msdb.dbo.sysoperators so3 ON (sjv.notify_page_operator_id = so3.id)
	LEFT OUTER JOIN msdb.dbo.syscategories sc ON (sjv.category_id = sc.category_id)
ORDER BY sjv.job_id

DROP TABLE #job_execution_state
DROP TABLE #filtered_jobs
DROP TABLE #xp_results

-- #JobInfo stays until the connection closes.
SELECT [name],
	description,
	enabled,
	originating_server,
	start_step_id,
	category,
	owner,
	notify_level_eventlog,
	notify_level_email,
	notify_level_netsend,
	notify_level_page,
	notify_email_operator,
	notify_netsend_operator,
	notify_page_operator,
	delete_level,
	convert(varchar(10), date_created, 103) + ' ' + convert(varchar(10), date_created, 108) as date_created,
	convert(varchar(10), date_modified, 103) + ' ' + convert(varchar(10), date_modified, 108) as date_modified,
	version_number,
	right('00' + convert(varchar(2), (last_run_date - ((last_run_date / 10000) * 10000) - (((last_run_date - ((last_run_date / 10000) * 10000)) / 100) * 100))), 2) + '/' +
	right('00' + convert(varchar(2), ((last_run_date - ((last_run_date / 10000) * 10000)) / 100)), 2) + '/' +
	right('0000' + convert(varchar(4), (last_run_date / 10000)), 4) as 'last run date',
	right('0' + convert(varchar(2), (last_run_time / 10000)), 2) + ':' +
	right('0' + convert(varchar(2), ((last_run_time - ((last_run_time / 10000) * 10000)) / 100)), 2) + ':' +
	right('0' + convert(varchar(2), (last_run_time - ((last_run_time / 10000) * 10000) - (((last_run_time - ((last_run_time / 10000) * 10000)) / 100) * 100))), 2) as 'last run time',
	last_run_outcome,
	right('00' + convert(varchar(2), (next_run_date - ((next_run_date / 10000) * 10000) - (((next_run_date - ((next_run_date / 10000) * 10000)) / 100) * 100))), 2) + '/' +
	right('00' + convert(varchar(2), ((next_run_date - ((next_run_date / 10000) * 10000)) / 100)), 2) + '/' +
	right('0000' + convert(varchar(4), (next_run_date / 10000)), 4) as 'next run date',
	right('0' + convert(varchar(2), (next_run_time / 10000)), 2) + ':' +
	right('0' + convert(varchar(2), ((next_run_time - ((next_run_time / 10000) * 10000)) / 100)), 2) + ':' +
	right('0' + convert(varchar(2), (next_run_time - ((next_run_time / 10000) * 10000) - (((next_run_time - ((next_run_time / 10000) * 10000)) / 100) * 100))), 2) as 'next run time',
	next_run_schedule_id,
	current_execution_status,
	current_execution_step,
	current_retry_attempt,
	has_step,
	has_schedule,
	has_target,
	[type]
FROM #JobInfo
ORDER BY category, [name]
