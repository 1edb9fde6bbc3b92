DECLARE @dbname NVARCHAR(1024) = '%s';
WITH qOBJ AS (
  SELECT SCH.name AS sch_name, OBJ.name AS obj_name, CAST('' AS NVARCHAR(4000)) AS info,
         CASE
           WHEN OBJ.type = 'U' THEN 4
           WHEN OBJ.type = 'V' THEN 5
           WHEN OBJ.type IN ('AF', 'FN', 'FS', 'FT', 'IF', 'P', 'PC', 'RF', 'TF', 'X') THEN 12
           WHEN OBJ.type = 'PG' THEN 23
           WHEN OBJ.type = 'SO' THEN 13
           WHEN OBJ.type = 'TT' THEN 24
           WHEN OBJ.type = 'ET' THEN 25
         END AS obj_type,
         OBJ.object_id AS obj_id
  FROM sys.all_objects OBJ
  JOIN sys.schemas SCH ON SCH.schema_id = OBJ.schema_id
  WHERE OBJ.type IN ('U', 'V', 'AF', 'FN', 'FS', 'FT', 'IF', 'P', 'PC', 'RF', 'TF', 'X', 'PG', 'SO', 'TT', 'ET')
  %s
),
qTYPESIZE AS (
  -- type and size text of columns and parameters
  SELECT c.object_id, c.column_id AS item_id, c.name AS item_name, 0 AS is_param, c.is_nullable,
         TYP.name +
         CASE
           WHEN TYP.system_type_id IN (240, 34, 98, 99, 35, 241) THEN ''
           WHEN TYP.system_type_id IN (41, 42, 43) THEN '(' + CAST(c.scale AS NVARCHAR(10)) + ')'
           WHEN TYP.system_type_id IN (106, 108) THEN '(' + CAST(c.precision AS NVARCHAR(10)) + '.' + CAST(c.scale AS NVARCHAR(10)) + ')'
           WHEN COLUMNPROPERTY(c.object_id, c.name, 'CharMaxLen') = -1 THEN '(MAX)'
           WHEN COLUMNPROPERTY(c.object_id, c.name, 'CharMaxLen') IS NULL THEN ''
           ELSE '(' + CAST(COLUMNPROPERTY(c.object_id, c.name, 'CharMaxLen') AS NVARCHAR(10)) + ')'
         END AS type_size
  FROM sys.all_columns c
  JOIN sys.types TYP ON TYP.user_type_id = c.user_type_id
  UNION ALL
  SELECT p.object_id, p.parameter_id, p.name, 1, p.is_nullable,
         TYP.name +
         CASE
           WHEN TYP.system_type_id IN (240, 34, 98, 99, 35, 241) THEN ''
           WHEN TYP.system_type_id IN (41, 42, 43) THEN '(' + CAST(p.scale AS NVARCHAR(10)) + ')'
           WHEN TYP.system_type_id IN (106, 108) THEN '(' + CAST(p.precision AS NVARCHAR(10)) + '.' + CAST(p.scale AS NVARCHAR(10)) + ')'
           WHEN p.max_length = -1 THEN '(MAX)'
           WHEN TYP.name IN ('nchar', 'nvarchar') THEN '(' + CAST(p.max_length / 2 AS NVARCHAR(10)) + ')'
           WHEN TYP.name IN ('char', 'varchar', 'binary', 'varbinary') THEN '(' + CAST(p.max_length AS NVARCHAR(10)) + ')'
           ELSE ''
         END
  FROM sys.all_parameters p
  JOIN sys.types TYP ON TYP.user_type_id = p.user_type_id
  WHERE p.parameter_id > 0
),
qCOL AS (
  SELECT o.sch_name, ts.item_name AS obj_name,
         CAST(' (' + ts.type_size + ', ' + CASE WHEN ts.is_nullable = 1 THEN 'null)' ELSE 'not null)' END AS NVARCHAR(4000)) AS info,
         CASE WHEN ts.is_param = 1 THEN 14 WHEN o.obj_type = 4 THEN 9 WHEN o.obj_type = 5 THEN 19 ELSE 16 END AS obj_type,
         o.obj_name AS parent
  FROM qTYPESIZE ts
  JOIN qOBJ o ON o.obj_id = ts.object_id
),
qIDX AS (
  SELECT o.sch_name, i.name AS obj_name,
         CAST(' (' + CASE WHEN i.is_unique = 1 THEN 'Unique, ' ELSE 'Non-Unique, ' END + i.type_desc +
              CASE WHEN i.is_primary_key = 1 THEN ', PrimaryKey' ELSE '' END + ')' AS NVARCHAR(4000)) AS info,
         CASE o.obj_type WHEN 4 THEN 10 WHEN 5 THEN 20 WHEN 12 THEN 22 ELSE o.obj_type END AS obj_type,
         o.obj_name AS parent
  FROM sys.indexes i
  JOIN qOBJ o ON o.obj_id = i.object_id
  WHERE i.name IS NOT NULL
),
qKEY AS (
  SELECT o.sch_name, fk.name AS obj_name,
         CAST(' (FK, ' + OBJECT_NAME(fk.referenced_object_id) + ')' AS NVARCHAR(4000)) AS info,
         15 AS obj_type, o.obj_name AS parent
  FROM sys.foreign_keys fk
  JOIN qOBJ o ON o.obj_id = fk.parent_object_id
  UNION ALL
  SELECT o.sch_name, i.name, CAST(' (PK)' AS NVARCHAR(4000)), 15, o.obj_name
  FROM sys.indexes i
  JOIN qOBJ o ON o.obj_id = i.object_id
  WHERE i.is_primary_key = 1
),
qCON AS (
  SELECT o.sch_name, c.name AS obj_name,
         CAST(' (' + CASE c.type WHEN 'C' THEN 'CHECK' WHEN 'D' THEN 'DEFAULT' WHEN 'UQ' THEN 'UNIQUE' ELSE 'EDGE' END + ')' AS NVARCHAR(4000)) AS info,
         17 AS obj_type, o.obj_name AS parent
  FROM sys.all_objects c
  JOIN qOBJ o ON o.obj_id = c.parent_object_id
  WHERE c.type IN ('C', 'D', 'UQ', 'EC')
),
qTRG AS (
  SELECT o.sch_name, t.name AS obj_name, CAST('' AS NVARCHAR(4000)) AS info,
         CASE o.obj_type WHEN 4 THEN 18 WHEN 5 THEN 21 ELSE o.obj_type END AS obj_type,
         o.obj_name AS parent
  FROM sys.all_objects t
  JOIN qOBJ o ON o.obj_id = t.parent_object_id
  WHERE t.type IN ('TR', 'TA')
),
qSYN AS (
  SELECT SCH.name AS sch_name, s.name AS obj_name,
         CAST(' (' + s.base_object_name + ')' AS NVARCHAR(4000)) AS info,
         6 AS obj_type, CAST(NULL AS NVARCHAR(256)) AS parent
  FROM sys.synonyms s
  JOIN sys.schemas SCH ON SCH.schema_id = s.schema_id
)
SELECT T0.obj_name AS Name, T0.obj_type AS Type, T0.info AS Info,
  CASE T0.obj_type
    WHEN 3 THEN @dbname + T0.sch_name
    WHEN 4 THEN @dbname + T0.sch_name + ' > Tables > ' + T0.obj_name
    WHEN 5 THEN @dbname + T0.sch_name + ' > Views > ' + T0.obj_name
    WHEN 12 THEN @dbname + T0.sch_name + ' > Procedures / Functions > ' + T0.obj_name
    WHEN 6 THEN @dbname + T0.sch_name + ' > Synonyms > ' + T0.obj_name
    WHEN 9 THEN @dbname + T0.sch_name + ' > Tables > ' + T0.parent + ' > Columns > ' + T0.obj_name
    WHEN 10 THEN @dbname + T0.sch_name + ' > Tables > ' + T0.parent + ' > Indexes > ' + T0.obj_name
    WHEN 13 THEN @dbname + T0.sch_name + ' > Sequences > ' + T0.obj_name
    WHEN 14 THEN @dbname + T0.sch_name + ' > Procedures / Functions > ' + T0.parent + ' > Parameters > ' + T0.obj_name
    WHEN 15 THEN @dbname + T0.sch_name + ' > Tables > ' + T0.parent + ' > Keys > ' + T0.obj_name
    WHEN 16 THEN @dbname + T0.sch_name + ' > Procedures / Functions > ' + T0.parent + ' > Columns > ' + T0.obj_name
    WHEN 17 THEN @dbname + T0.sch_name + ' > Tables > ' + T0.parent + ' > Constraints > ' + T0.obj_name
    WHEN 18 THEN @dbname + T0.sch_name + ' > Tables > ' + T0.parent + ' > Triggers > ' + T0.obj_name
    WHEN 19 THEN @dbname + T0.sch_name + ' > Views > ' + T0.parent + ' > Columns > ' + T0.obj_name
    WHEN 20 THEN @dbname + T0.sch_name + ' > Views > ' + T0.parent + ' > Indexes > ' + T0.obj_name
    WHEN 21 THEN @dbname + T0.sch_name + ' > Views > ' + T0.parent + ' > Triggers > ' + T0.obj_name
    WHEN 22 THEN @dbname + T0.sch_name + ' > Procedures / Functions > ' + T0.parent + ' > Index > ' + T0.obj_name
    WHEN 23 THEN @dbname + T0.sch_name + ' > Plan Guides > ' + T0.obj_name
    WHEN 24 THEN @dbname + T0.sch_name + ' > Table Types > ' + T0.obj_name
    WHEN 25 THEN @dbname + T0.sch_name + ' > External Table > ' + T0.obj_name
  END AS FullName
FROM (
  SELECT sch_name, obj_name, info, obj_type, CAST(NULL AS NVARCHAR(256)) AS parent FROM qOBJ
  UNION ALL
  SELECT DISTINCT sch_name, sch_name, CAST('' AS NVARCHAR(4000)), 3, CAST(NULL AS NVARCHAR(256)) FROM qOBJ
  UNION ALL SELECT * FROM qCOL
  UNION ALL SELECT * FROM qIDX
  UNION ALL SELECT * FROM qKEY
  UNION ALL SELECT * FROM qCON
  UNION ALL SELECT * FROM qTRG
  UNION ALL SELECT * FROM qSYN
) T0
WHERE COALESCE(T0.obj_name, '') <> ''
order by 2;
