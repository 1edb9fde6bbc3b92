set session my.vars.dbname = '%s';
WITH qOBJ AS (
  SELECT * FROM (
    SELECT t.table_schema::text AS sch_name,
           t.table_name::text AS obj_name,
           COALESCE(' (' || obj_description(c.oid, 'pg_class') || ')', '') AS info,
           CASE t.table_type
             WHEN 'BASE TABLE' THEN 4
             WHEN 'VIEW' THEN 5
             WHEN 'FOREIGN' THEN 25
             WHEN 'LOCAL TEMPORARY' THEN 7
           END AS obj_type,
           c.oid AS obj_oid,
           NULL::text AS spec_name
    FROM information_schema.tables t
    LEFT JOIN pg_catalog.pg_namespace n ON n.nspname = t.table_schema
    LEFT JOIN pg_catalog.pg_class c ON c.relnamespace = n.oid AND c.relname = t.table_name
    UNION ALL
    SELECT r.routine_schema::text, r.routine_name::text,
           COALESCE(' (' || obj_description(p.oid, 'pg_proc') || ')', ''),
           12, p.oid, r.specific_name::text
    FROM information_schema.routines r
    LEFT JOIN pg_catalog.pg_proc p
      ON r.specific_name = p.proname || '_' || p.oid
    UNION ALL
    SELECT s.sequence_schema::text, s.sequence_name::text, '', 13, NULL::oid, NULL::text
    FROM information_schema.sequences s
  ) objects
  %s
),
qCOL AS (
  SELECT c.table_schema::text AS sch_name, c.column_name::text AS obj_name,
         '(' || c.data_type ||
         CASE
           WHEN c.data_type IN ('integer', 'bigint', 'smallint') THEN ''
           WHEN COALESCE(c.character_maximum_length, c.numeric_precision) IS NULL THEN ''
           ELSE '(' || COALESCE(c.character_maximum_length, c.numeric_precision)::text ||
                CASE WHEN COALESCE(c.numeric_scale, 0) <> 0 THEN '.' || c.numeric_scale::text ELSE '' END || ')'
         END ||
         CASE WHEN c.is_nullable = 'YES' THEN ', null' ELSE ', not null' END ||
         CASE WHEN c.column_default IS NOT NULL THEN ', DEF: ''' || c.column_default || '''' ELSE '' END ||
         ')' ||
         COALESCE(' ' || col_description(o.obj_oid, c.ordinal_position::int), '') AS info,
         CASE WHEN o.obj_type = 5 THEN 19 ELSE 9 END AS obj_type,
         o.obj_name AS parent
  FROM information_schema.columns c
  JOIN qOBJ o ON o.sch_name = c.table_schema AND o.obj_name = c.table_name AND o.obj_type IN (4, 5, 7, 25)
),
qPAR AS (
  SELECT o.sch_name,
         CASE WHEN p.parameter_mode = 'OUT' THEN 'OUT ' ELSE '' END || p.parameter_name::text AS obj_name,
         '(' || p.data_type ||
         CASE
           WHEN p.data_type IN ('integer', 'bigint', 'smallint') THEN ''
           WHEN COALESCE(p.character_maximum_length, p.numeric_precision) IS NULL THEN ''
           ELSE '(' || COALESCE(p.character_maximum_length, p.numeric_precision)::text ||
                CASE WHEN COALESCE(p.numeric_scale, 0) <> 0 THEN '.' || p.numeric_scale::text ELSE '' END || ')'
         END || ')' AS info,
         14 AS obj_type,
         o.obj_name AS parent
  FROM information_schema.parameters p
  JOIN qOBJ o ON o.obj_type = 12 AND o.sch_name = p.specific_schema AND o.spec_name = p.specific_name
  WHERE COALESCE(p.parameter_name, '') <> ''
),
qIDX AS (
  SELECT o.sch_name, ic.relname::text AS obj_name,
         ' (' || CASE WHEN i.indisunique THEN 'Unique' ELSE 'Non-Unique' END ||
         CASE WHEN i.indisprimary THEN ', PrimaryKey' ELSE '' END || ')' AS info,
         CASE o.obj_type WHEN 5 THEN 20 WHEN 12 THEN 22 ELSE 10 END AS obj_type,
         o.obj_name AS parent
  FROM pg_catalog.pg_index i
  JOIN pg_catalog.pg_class ic ON ic.oid = i.indexrelid
  JOIN qOBJ o ON o.obj_oid = i.indrelid AND o.obj_type IN (4, 5, 12)
),
qKEY AS (
  SELECT o.sch_name, con.conname::text AS obj_name,
         CASE con.contype
           WHEN 'f' THEN ' (FK, ' || rc.relname ||
                         COALESCE('.' || (SELECT string_agg(a.attname, ', ' ORDER BY k.n)
                                          FROM unnest(con.confkey) WITH ORDINALITY AS k(attnum, n)
                                          JOIN pg_catalog.pg_attribute a
                                            ON a.attrelid = con.confrelid AND a.attnum = k.attnum), '') || ')'
           ELSE ' (PK)'
         END AS info,
         15 AS obj_type,
         o.obj_name AS parent
  FROM pg_catalog.pg_constraint con
  JOIN qOBJ o ON o.obj_oid = con.conrelid AND o.obj_type IN (4, 5, 7, 25)
  LEFT JOIN pg_catalog.pg_class rc ON rc.oid = con.confrelid
  WHERE con.contype IN ('f', 'p')
),
qCON AS (
  SELECT o.sch_name, tc.constraint_name::text AS obj_name,
         ' (' || tc.constraint_type || ')' AS info,
         17 AS obj_type,
         o.obj_name AS parent
  FROM information_schema.table_constraints tc
  JOIN qOBJ o ON o.sch_name = tc.table_schema AND o.obj_name = tc.table_name AND o.obj_type IN (4, 5, 7, 25)
  WHERE tc.constraint_type NOT IN ('CHECK', 'PRIMARY KEY', 'FOREIGN KEY')
),
qTRG AS (
  SELECT o.sch_name, tr.trigger_name::text AS obj_name,
         ' (' || tr.event_manipulation || ')' AS info,
         CASE WHEN o.obj_type = 5 THEN 21 ELSE 18 END AS obj_type,
         o.obj_name AS parent
  FROM information_schema.triggers tr
  JOIN qOBJ o ON o.sch_name = tr.event_object_schema AND o.obj_name = tr.event_object_table AND o.obj_type IN (4, 5, 7, 25)
)
SELECT T0.obj_name AS "Name", T0.obj_type AS "Type", T0.info AS "Info",
  CASE T0.obj_type
    WHEN 3 THEN current_setting('my.vars.dbname') || T0.sch_name
    WHEN 4 THEN current_setting('my.vars.dbname') || T0.sch_name || ' > Tables > ' || T0.obj_name
    WHEN 5 THEN current_setting('my.vars.dbname') || T0.sch_name || ' > Views > ' || T0.obj_name
    WHEN 12 THEN current_setting('my.vars.dbname') || T0.sch_name || ' > Procedures / Functions > ' || T0.obj_name
    WHEN 6 THEN current_setting('my.vars.dbname') || T0.sch_name || ' > Synonyms > ' || T0.obj_name
    WHEN 9 THEN current_setting('my.vars.dbname') || T0.sch_name || ' > Tables > ' || T0.parent || ' > Columns > ' || T0.obj_name
    WHEN 10 THEN current_setting('my.vars.dbname') || T0.sch_name || ' > Tables > ' || T0.parent || ' > Indexes > ' || T0.obj_name
    WHEN 13 THEN current_setting('my.vars.dbname') || T0.sch_name || ' > Sequences > ' || T0.obj_name
    WHEN 14 THEN current_setting('my.vars.dbname') || T0.sch_name || ' > Procedures / Functions > ' || T0.parent || ' > Parameters > ' || T0.obj_name
    WHEN 15 THEN current_setting('my.vars.dbname') || T0.sch_name || ' > Tables > ' || T0.parent || ' > Keys > ' || T0.obj_name
    WHEN 16 THEN current_setting('my.vars.dbname') || T0.sch_name || ' > Procedures / Functions > ' || T0.parent || ' > Columns > ' || T0.obj_name
    WHEN 17 THEN current_setting('my.vars.dbname') || T0.sch_name || ' > Tables > ' || T0.parent || ' > Constraints > ' || T0.obj_name
    WHEN 18 THEN current_setting('my.vars.dbname') || T0.sch_name || ' > Tables > ' || T0.parent || ' > Triggers > ' || T0.obj_name
    WHEN 19 THEN current_setting('my.vars.dbname') || T0.sch_name || ' > Views > ' || T0.parent || ' > Columns > ' || T0.obj_name
    WHEN 20 THEN current_setting('my.vars.dbname') || T0.sch_name || ' > Views > ' || T0.parent || ' > Indexes > ' || T0.obj_name
    WHEN 21 THEN current_setting('my.vars.dbname') || T0.sch_name || ' > Views > ' || T0.parent || ' > Triggers > ' || T0.obj_name
    WHEN 22 THEN current_setting('my.vars.dbname') || T0.sch_name || ' > Procedures / Functions > ' || T0.parent || ' > Index > ' || T0.obj_name
    WHEN 23 THEN current_setting('my.vars.dbname') || T0.sch_name || ' > Plan Guides > ' || T0.obj_name
    WHEN 24 THEN current_setting('my.vars.dbname') || T0.sch_name || ' > Table Types > ' || T0.obj_name
    WHEN 25 THEN current_setting('my.vars.dbname') || T0.sch_name || ' > External Table > ' || T0.obj_name
  END AS "FullName"
FROM (
  SELECT sch_name, obj_name, info, obj_type, NULL::text AS parent FROM qOBJ
  UNION ALL
  SELECT DISTINCT sch_name, sch_name, '', 3, NULL::text FROM qOBJ
  UNION ALL SELECT * FROM qCOL
  UNION ALL SELECT * FROM qPAR
  UNION ALL SELECT * FROM qIDX
  UNION ALL SELECT * FROM qKEY
  UNION ALL SELECT * FROM qCON
  UNION ALL SELECT * FROM qTRG
) T0
WHERE COALESCE(T0.obj_name, '') <> ''
order by 2;
