WITH qOBJ AS (
  SELECT sys_context('userenv', 'current_schema') AS sch_name, o.object_name AS obj_name,
         CAST('' AS VARCHAR2(4000)) AS info,
         CASE o.object_type
           WHEN 'TABLE' THEN 4
           WHEN 'VIEW' THEN 5
           WHEN 'PROCEDURE' THEN 12
           WHEN 'FUNCTION' THEN 12
           WHEN 'SEQUENCE' THEN 13
           WHEN 'MATERIALIZED VIEW' THEN 26
           WHEN 'PACKAGE' THEN 27
         END AS obj_type
  FROM user_objects o
  WHERE o.object_type IN ('TABLE', 'VIEW', 'PROCEDURE', 'FUNCTION', 'SEQUENCE', 'MATERIALIZED VIEW', 'PACKAGE')
    AND o.subobject_name IS NULL
),
qCOL AS (
  SELECT o.sch_name, c.column_name AS obj_name,
         CAST('(' || c.data_type ||
              CASE
                WHEN c.data_type IN ('NUMBER', 'ROWID', 'UROWID') OR c.data_type LIKE 'INTERVAL DAY%' THEN ''
                ELSE '(' || c.data_length || c.data_precision ||
                     CASE WHEN c.data_scale IS NOT NULL THEN '.' || c.data_scale || ')' ELSE ')' END
              END ||
              CASE WHEN c.nullable = 'Y' THEN ', null' ELSE ', not null' END || ')' ||
              CASE WHEN cc.comments IS NOT NULL THEN ' ' || cc.comments END AS VARCHAR2(4000)) AS info,
         CASE WHEN o.obj_type = 5 THEN 19 ELSE 9 END AS obj_type,
         o.obj_name AS parent
  FROM user_tab_columns c
  JOIN qOBJ o ON o.obj_name = c.table_name AND o.obj_type IN (4, 5)
  LEFT JOIN user_col_comments cc ON cc.table_name = c.table_name AND cc.column_name = c.column_name
),
qPAR AS (
  SELECT o.sch_name,
         CASE WHEN a.in_out <> 'IN' THEN a.in_out || ' ' END || a.argument_name AS obj_name,
         CAST('(' || a.data_type ||
              CASE
                WHEN a.data_type IN ('NUMBER', 'ROWID', 'UROWID') OR a.data_type LIKE 'INTERVAL DAY%' THEN ''
                ELSE '(' || a.data_length || a.data_precision ||
                     CASE WHEN a.data_scale IS NOT NULL THEN '.' || a.data_scale || ')' ELSE ')' END
              END || ')' AS VARCHAR2(4000)) AS info,
         14 AS obj_type,
         o.obj_name AS parent
  FROM user_arguments a
  JOIN qOBJ o ON o.obj_name = a.object_name AND o.obj_type = 12
  WHERE a.package_name IS NULL AND a.argument_name IS NOT NULL
),
qIDX AS (
  SELECT o.sch_name, i.index_name AS obj_name,
         CAST(' (' || CASE WHEN i.uniqueness = 'UNIQUE' THEN 'Unique, ' ELSE 'Non-Unique, ' END || i.index_type ||
              CASE WHEN uc.constraint_type = 'P' THEN ', PrimaryKey' END || ')' AS VARCHAR2(4000)) AS info,
         CASE o.obj_type WHEN 5 THEN 20 WHEN 12 THEN 22 ELSE 10 END AS obj_type,
         o.obj_name AS parent
  FROM user_indexes i
  JOIN qOBJ o ON o.obj_name = i.table_name AND o.obj_type IN (4, 5, 12)
  LEFT JOIN user_constraints uc ON uc.index_name = i.index_name AND uc.table_name = i.table_name AND uc.constraint_type = 'P'
),
qKEY AS (
  SELECT o.sch_name, uc.constraint_name AS obj_name,
         CAST(CASE WHEN uc.constraint_type = 'R' THEN ' (FK, ' || rc.table_name || ')' ELSE ' (PK)' END AS VARCHAR2(4000)) AS info,
         15 AS obj_type,
         o.obj_name AS parent
  FROM user_constraints uc
  JOIN qOBJ o ON o.obj_name = uc.table_name AND o.obj_type IN (4, 5)
  LEFT JOIN user_constraints rc ON rc.constraint_name = uc.r_constraint_name
  WHERE uc.constraint_type IN ('R', 'P')
),
qCON AS (
  SELECT o.sch_name, uc.constraint_name AS obj_name,
         CAST(' (' || CASE uc.constraint_type WHEN 'C' THEN 'CHECK' WHEN 'U' THEN 'UNIQUE' ELSE uc.constraint_type END || ')'
              AS VARCHAR2(4000)) AS info,
         17 AS obj_type,
         o.obj_name AS parent
  FROM user_constraints uc
  JOIN qOBJ o ON o.obj_name = uc.table_name AND o.obj_type IN (4, 5)
  WHERE uc.constraint_type NOT IN ('R', 'P')
),
qTRG AS (
  SELECT o.sch_name, t.trigger_name AS obj_name, CAST('' AS VARCHAR2(4000)) AS info,
         CASE WHEN o.obj_type = 5 THEN 21 ELSE 18 END AS obj_type,
         o.obj_name AS parent
  FROM user_triggers t
  JOIN qOBJ o ON o.obj_name = t.table_name AND o.obj_type IN (4, 5)
  WHERE t.base_object_type IN ('TABLE', 'VIEW')
),
qSYN AS (
  SELECT sys_context('userenv', 'current_schema') AS sch_name, s.synonym_name AS obj_name,
         CAST(' (' || s.table_owner || '.' || s.table_name || ')' AS VARCHAR2(4000)) AS info,
         6 AS obj_type,
         CAST(NULL AS VARCHAR2(128)) AS parent
  FROM user_synonyms s
),
qPKG AS (
  SELECT o.sch_name, o.obj_name || ' Body' AS obj_name, CAST('' AS VARCHAR2(4000)) AS info,
         28 AS obj_type, o.obj_name AS parent
  FROM qOBJ o
  JOIN user_objects b ON b.object_name = o.obj_name AND b.object_type = 'PACKAGE BODY'
  WHERE o.obj_type = 27
  UNION ALL
  SELECT o.sch_name, p.procedure_name, CAST('' AS VARCHAR2(4000)), 29, o.obj_name
  FROM user_procedures p
  JOIN qOBJ o ON o.obj_name = p.object_name AND o.obj_type = 27
  WHERE p.procedure_name IS NOT NULL
)
SELECT T0.obj_name AS "Name", T0.obj_type AS "Type", T0.info AS "Info",
  CASE T0.obj_type
    WHEN 3 THEN '@dbname' || T0.sch_name
    WHEN 4 THEN '@dbname' || T0.sch_name || ' > Tables > ' || T0.obj_name
    WHEN 5 THEN '@dbname' || T0.sch_name || ' > Views > ' || T0.obj_name
    WHEN 12 THEN '@dbname' || T0.sch_name || ' > Procedures / Functions > ' || T0.obj_name
    WHEN 6 THEN '@dbname' || T0.sch_name || ' > Synonyms > ' || T0.obj_name
    WHEN 9 THEN '@dbname' || T0.sch_name || ' > Tables > ' || T0.parent || ' > Columns > ' || T0.obj_name
    WHEN 10 THEN '@dbname' || T0.sch_name || ' > Tables > ' || T0.parent || ' > Indexes > ' || T0.obj_name
    WHEN 13 THEN '@dbname' || T0.sch_name || ' > Sequences > ' || T0.obj_name
    WHEN 14 THEN '@dbname' || T0.sch_name || ' > Procedures / Functions > ' || T0.parent || ' > Parameters > ' || T0.obj_name
    WHEN 15 THEN '@dbname' || T0.sch_name || ' > Tables > ' || T0.parent || ' > Keys > ' || T0.obj_name
    WHEN 16 THEN '@dbname' || T0.sch_name || ' > Procedures / Functions > ' || T0.parent || ' > Columns > ' || T0.obj_name
    WHEN 17 THEN '@dbname' || T0.sch_name || ' > Tables > ' || T0.parent || ' > Constraints > ' || T0.obj_name
    WHEN 18 THEN '@dbname' || T0.sch_name || ' > Tables > ' || T0.parent || ' > Triggers > ' || T0.obj_name
    WHEN 19 THEN '@dbname' || T0.sch_name || ' > Views > ' || T0.parent || ' > Columns > ' || T0.obj_name
    WHEN 20 THEN '@dbname' || T0.sch_name || ' > Views > ' || T0.parent || ' > Indexes > ' || T0.obj_name
    WHEN 21 THEN '@dbname' || T0.sch_name || ' > Views > ' || T0.parent || ' > Triggers > ' || T0.obj_name
    WHEN 22 THEN '@dbname' || T0.sch_name || ' > Procedures / Functions > ' || T0.parent || ' > Index > ' || T0.obj_name
    WHEN 24 THEN '@dbname' || T0.sch_name || ' > Table Types > ' || T0.obj_name
    WHEN 25 THEN '@dbname' || T0.sch_name || ' > External Table > ' || T0.obj_name
    WHEN 27 THEN '@dbname' || T0.sch_name || ' > Packages > ' || T0.obj_name
    WHEN 28 THEN '@dbname' || T0.sch_name || ' > Packages > ' || T0.parent || ' > ' || T0.obj_name
    WHEN 29 THEN '@dbname' || T0.sch_name || ' > Packages > ' || T0.parent || ' > ' || T0.obj_name
  END AS "FullName"
FROM (
  SELECT sch_name, obj_name, info, obj_type, CAST(NULL AS VARCHAR2(128)) AS parent FROM qOBJ
  UNION ALL
  SELECT sys_context('userenv', 'current_schema'), sys_context('userenv', 'current_schema'),
         CAST('' AS VARCHAR2(4000)), 3, CAST(NULL AS VARCHAR2(128)) FROM dual
  UNION ALL SELECT * FROM qCOL
  UNION ALL SELECT * FROM qPAR
  UNION ALL SELECT * FROM qIDX
  UNION ALL SELECT * FROM qKEY
  UNION ALL SELECT * FROM qCON
  UNION ALL SELECT * FROM qTRG
  UNION ALL SELECT * FROM qSYN
  UNION ALL SELECT * FROM qPKG
) T0
-- Oracle stores the empty text as NULL, so a name compared with '' would drop every row.
WHERE T0.obj_name IS NOT NULL
