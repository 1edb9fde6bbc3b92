-- The local database of the program: the database tree and the rows of the last tree filter.
CREATE TABLE Tree (
  Name TEXT,
  FullName TEXT,
  Visible INT,
  Type INT,
  Level INT,
  Expanded INT,
  Info TEXT
);
CREATE INDEX IX_Tree_FullName ON Tree (FullName COLLATE NOCASE);
CREATE INDEX IX_Tree_Level ON Tree (Level);
CREATE INDEX IX_Tree_Shown ON Tree (Level) WHERE Visible IS NOT 0 OR Expanded IS NOT 0;
CREATE TABLE FilterRes (
  FullName TEXT,
  Type INT,
  Name TEXT,
  Info TEXT
);
