SELECT distinct 
	sj.job_id, 
	job_name = sj.name, 
	sjh.run_status, 
	sjh.run_date, 
	sjh.run_time, 
	sjh.run_duration, 
	operator_emailed = substring(so1.name, 1, 20), 
	operator_netsent = substring(so2.name, 1, 20), 
	operator_paged = substring(so3.name, 1, 20), 
	sjh.retries_attempted, 
	sjh.server, 
	sjh.instance_id * -1 as instance_id 
INTO #JobHistoryTmp
FROM msdb.dbo.sysjobhistory sjh
	LEFT OUTER JOIN msdb.dbo.sysoperators so1 ON (sjh.operator_id_emailed = so1.id)
	LEFT OUTER JOIN msdb.dbo.sysoperators so2 ON (sjh.operator_id_netsent = so2.id)
	LEFT OUTER JOIN msdb.dbo.sysoperators so3 ON (sjh.operator_id_paged = so3.id),
	msdb.dbo.sysjobs_view sj
WHERE (sj.job_id = sjh.job_id)
ORDER BY (sjh.instance_id * -1)

select top {Count} 
	job_name, 
	run_status, 
	right('00' + convert(varchar(2), (run_date - ((run_date / 10000) * 10000) - (((run_date - ((run_date / 10000) * 10000)) / 100) * 100))), 2) + '/' +
	right('00' + convert(varchar(2), ((run_date - ((run_date / 10000) * 10000)) / 100)), 2) + '/' +
	right('0000' + convert(varchar(4), (run_date / 10000)), 4) as 'run date', 
	right('0' + convert(varchar(2), (run_time / 10000)), 2) + ':' +
	right('0' + convert(varchar(2), ((run_time - ((run_time / 10000) * 10000)) / 100)), 2) + ':' +
	right('0' + convert(varchar(2), (run_time - ((run_time / 10000) * 10000) - (((run_time - ((run_time / 10000) * 10000)) / 100) * 100))), 2) as 'run time',
	convert(varchar(4), (run_duration / 10000)) + ':' +
	right('0' + convert(varchar(2), ((run_duration - ((run_duration / 10000) * 10000)) / 100)), 2) + ':' +
	right('0' + convert(varchar(2), (run_duration - ((run_duration / 10000) * 10000) - (((run_duration - ((run_duration / 10000) * 10000)) / 100) * 100))), 2) as 'run duration<br>(H:M:S)',
	operator_emailed, 
	operator_netsent, 
	operator_paged, 
	retries_attempted, 
	server 
from #JobHistoryTmp
