SET @@SQL_MODE = CONCAT(@@SQL_MODE, ',PIPES_AS_CONCAT');
SELECT @dbname := '%s' AS dbname;
SELECT @db := SUBSTRING_INDEX(SUBSTRING_INDEX(@dbname, ' > ', -2), ' > ', 1) AS db;
WITH qOBJ AS (
  SELECT 'NO_SCHEMA' AS sch_name, t.TABLE_NAME AS obj_name,
         CASE WHEN t.TABLE_TYPE IN ('VIEW', 'SYSTEM VIEW') AND t.TABLE_COMMENT = 'VIEW' THEN ''
              ELSE REPLACE(' (' || COALESCE(t.TABLE_COMMENT, '') || ')', ' ()', '') END AS info,
         CASE WHEN t.TABLE_TYPE = 'BASE TABLE' THEN 4 WHEN t.TABLE_TYPE IN ('VIEW', 'SYSTEM VIEW') THEN 5 END AS obj_type
  FROM information_schema.TABLES t
  WHERE t.TABLE_SCHEMA = @db
  UNION ALL
  SELECT 'NO_SCHEMA', r.ROUTINE_NAME,
         REPLACE(' (' || COALESCE(r.ROUTINE_COMMENT, '') || ')', ' ()', ''), 12
  FROM information_schema.ROUTINES r
  WHERE r.ROUTINE_SCHEMA = @db
),
qCOL AS (
  SELECT 'NO_SCHEMA' AS sch_name, c.COLUMN_NAME AS obj_name,
         '(' || c.DATA_TYPE ||
         CASE
           WHEN c.DATA_TYPE IN ('integer', 'bigint', 'smallint', 'int', 'tinyint', 'mediumint') THEN ''
           WHEN COALESCE(c.CHARACTER_MAXIMUM_LENGTH, c.NUMERIC_PRECISION) IS NULL THEN ''
           ELSE '(' || COALESCE(c.CHARACTER_MAXIMUM_LENGTH, c.NUMERIC_PRECISION) ||
                CASE WHEN COALESCE(c.NUMERIC_SCALE, 0) <> 0 THEN '.' || c.NUMERIC_SCALE ELSE '' END || ')'
         END ||
         CASE WHEN c.IS_NULLABLE = 'YES' THEN ', null' ELSE ', not null' END ||
         CASE WHEN c.COLUMN_DEFAULT IS NOT NULL AND c.COLUMN_DEFAULT <> 'NULL'
              THEN ', DEF: ''' || c.COLUMN_DEFAULT || '''' ELSE '' END ||
         ')' ||
         CASE WHEN COALESCE(c.COLUMN_COMMENT, '') <> '' THEN ' ' || c.COLUMN_COMMENT ELSE '' END AS info,
         CASE WHEN o.obj_type = 5 THEN 19 ELSE 9 END AS obj_type,
         o.obj_name AS parent
  FROM information_schema.COLUMNS c
  JOIN qOBJ o ON o.obj_name = c.TABLE_NAME AND o.obj_type IN (4, 5)
  WHERE c.TABLE_SCHEMA = @db
),
qPAR AS (
  SELECT 'NO_SCHEMA' AS sch_name,
         CASE WHEN p.PARAMETER_MODE = 'OUT' THEN 'OUT ' ELSE '' END || p.PARAMETER_NAME AS obj_name,
         '(' || p.DATA_TYPE ||
         CASE
           WHEN p.DATA_TYPE IN ('integer', 'bigint', 'smallint', 'int', 'tinyint', 'mediumint') THEN ''
           WHEN COALESCE(p.CHARACTER_MAXIMUM_LENGTH, p.NUMERIC_PRECISION) IS NULL THEN ''
           ELSE '(' || COALESCE(p.CHARACTER_MAXIMUM_LENGTH, p.NUMERIC_PRECISION) ||
                CASE WHEN COALESCE(p.NUMERIC_SCALE, 0) <> 0 THEN '.' || p.NUMERIC_SCALE ELSE '' END || ')'
         END || ')' AS info,
         14 AS obj_type,
         p.SPECIFIC_NAME AS parent
  FROM information_schema.PARAMETERS p
  WHERE p.SPECIFIC_SCHEMA = @db AND COALESCE(p.PARAMETER_NAME, '') <> ''
),
qIDX AS (
  SELECT DISTINCT 'NO_SCHEMA' AS sch_name, s.INDEX_NAME AS obj_name,
         ' (' || CASE WHEN s.NON_UNIQUE = 0 THEN 'Unique' ELSE 'Non-Unique' END ||
         CASE WHEN TRIM(COALESCE(s.COMMENT, '') || ' ' || COALESCE(s.INDEX_COMMENT, '')) <> ''
              THEN ', ' || TRIM(COALESCE(s.COMMENT, '') || ' ' || COALESCE(s.INDEX_COMMENT, '')) ELSE '' END || ')' AS info,
         CASE o.obj_type WHEN 5 THEN 20 WHEN 12 THEN 22 ELSE 10 END AS obj_type,
         o.obj_name AS parent
  FROM information_schema.STATISTICS s
  JOIN qOBJ o ON o.obj_name = s.TABLE_NAME AND o.obj_type IN (4, 5)
  WHERE s.TABLE_SCHEMA = @db
),
qKEY AS (
  SELECT 'NO_SCHEMA' AS sch_name, tc.CONSTRAINT_NAME AS obj_name,
         CASE WHEN tc.CONSTRAINT_TYPE = 'FOREIGN KEY'
              THEN ' (FK, ' || COALESCE((SELECT MIN(k.REFERENCED_TABLE_NAME) || '.' ||
                                                GROUP_CONCAT(k.REFERENCED_COLUMN_NAME ORDER BY k.ORDINAL_POSITION SEPARATOR ', ')
                                         FROM information_schema.KEY_COLUMN_USAGE k
                                         WHERE k.CONSTRAINT_SCHEMA = tc.CONSTRAINT_SCHEMA
                                           AND k.TABLE_NAME = tc.TABLE_NAME
                                           AND k.CONSTRAINT_NAME = tc.CONSTRAINT_NAME), '') || ')'
              ELSE ' (PK)' END AS info,
         15 AS obj_type,
         tc.TABLE_NAME AS parent
  FROM information_schema.TABLE_CONSTRAINTS tc
  WHERE tc.CONSTRAINT_SCHEMA = @db AND tc.CONSTRAINT_TYPE IN ('FOREIGN KEY', 'PRIMARY KEY')
),
qCON AS (
  SELECT 'NO_SCHEMA' AS sch_name, tc.CONSTRAINT_NAME AS obj_name,
         ' (' || tc.CONSTRAINT_TYPE || ')' AS info,
         17 AS obj_type,
         tc.TABLE_NAME AS parent
  FROM information_schema.TABLE_CONSTRAINTS tc
  WHERE tc.CONSTRAINT_SCHEMA = @db AND tc.CONSTRAINT_TYPE NOT IN ('FOREIGN KEY', 'PRIMARY KEY')
),
qTRG AS (
  SELECT 'NO_SCHEMA' AS sch_name, tr.TRIGGER_NAME AS obj_name,
         ' (' || tr.EVENT_MANIPULATION || ')' AS info,
         CASE WHEN o.obj_type = 5 THEN 21 ELSE 18 END AS obj_type,
         o.obj_name AS parent
  FROM information_schema.TRIGGERS tr
  JOIN qOBJ o ON o.obj_name = tr.EVENT_OBJECT_TABLE AND o.obj_type IN (4, 5)
  WHERE tr.EVENT_OBJECT_SCHEMA = @db
)
SELECT T0.obj_name AS Name, T0.obj_type AS Type, T0.info AS Info,
  CASE T0.obj_type
    WHEN 3 THEN @dbname || T0.sch_name
    WHEN 4 THEN @dbname || T0.sch_name || ' > Tables > ' || T0.obj_name
    WHEN 5 THEN @dbname || T0.sch_name || ' > Views > ' || T0.obj_name
    WHEN 12 THEN @dbname || T0.sch_name || ' > Procedures / Functions > ' || T0.obj_name
    WHEN 6 THEN @dbname || T0.sch_name || ' > Synonyms > ' || T0.obj_name
    WHEN 9 THEN @dbname || T0.sch_name || ' > Tables > ' || T0.parent || ' > Columns > ' || T0.obj_name
    WHEN 10 THEN @dbname || T0.sch_name || ' > Tables > ' || T0.parent || ' > Indexes > ' || T0.obj_name
    WHEN 13 THEN @dbname || T0.sch_name || ' > Sequences > ' || T0.obj_name
    WHEN 14 THEN @dbname || T0.sch_name || ' > Procedures / Functions > ' || T0.parent || ' > Parameters > ' || T0.obj_name
    WHEN 15 THEN @dbname || T0.sch_name || ' > Tables > ' || T0.parent || ' > Keys > ' || T0.obj_name
    WHEN 16 THEN @dbname || T0.sch_name || ' > Procedures / Functions > ' || T0.parent || ' > Columns > ' || T0.obj_name
    WHEN 17 THEN @dbname || T0.sch_name || ' > Tables > ' || T0.parent || ' > Constraints > ' || T0.obj_name
    WHEN 18 THEN @dbname || T0.sch_name || ' > Tables > ' || T0.parent || ' > Triggers > ' || T0.obj_name
    WHEN 19 THEN @dbname || T0.sch_name || ' > Views > ' || T0.parent || ' > Columns > ' || T0.obj_name
    WHEN 20 THEN @dbname || T0.sch_name || ' > Views > ' || T0.parent || ' > Indexes > ' || T0.obj_name
    WHEN 21 THEN @dbname || T0.sch_name || ' > Views > ' || T0.parent || ' > Triggers > ' || T0.obj_name
    WHEN 22 THEN @dbname || T0.sch_name || ' > Procedures / Functions > ' || T0.parent || ' > Index > ' || T0.obj_name
    WHEN 24 THEN @dbname || T0.sch_name || ' > Table Types > ' || T0.obj_name
    WHEN 25 THEN @dbname || T0.sch_name || ' > External Table > ' || T0.obj_name
  END AS FullName
FROM (
  SELECT sch_name, obj_name, info, obj_type, CAST(NULL AS CHAR(64)) AS parent FROM qOBJ
  UNION ALL
  SELECT 'NO_SCHEMA', 'NO_SCHEMA', '', 3, NULL
  UNION ALL SELECT * FROM qCOL
  UNION ALL SELECT * FROM qPAR
  UNION ALL SELECT * FROM qIDX
  UNION ALL SELECT * FROM qKEY
  UNION ALL SELECT * FROM qCON
  UNION ALL SELECT * FROM qTRG
) T0
WHERE COALESCE(T0.obj_name, '') <> ''
order by 2;
