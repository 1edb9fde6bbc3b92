/* Creates an SQLite database file from an SQL script: mkdb <out.db> <script.sql>.
   An existing output file is replaced. */
#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: %s OUT.db SCRIPT.sql\n", argv[0]);
    return 2;
  }
  FILE *f = fopen(argv[2], "rb");
  if (!f) {
    perror(argv[2]);
    return 1;
  }
  fseek(f, 0, SEEK_END);
  long n = ftell(f);
  fseek(f, 0, SEEK_SET);
  char *sql = malloc((size_t)n + 1);
  if (!sql || fread(sql, 1, (size_t)n, f) != (size_t)n) {
    fprintf(stderr, "cannot read %s\n", argv[2]);
    return 1;
  }
  sql[n] = 0;
  fclose(f);
  remove(argv[1]);
  sqlite3 *db = NULL;
  if (sqlite3_open(argv[1], &db) != SQLITE_OK) {
    fprintf(stderr, "cannot create %s: %s\n", argv[1], sqlite3_errmsg(db));
    return 1;
  }
  char *err = NULL;
  if (sqlite3_exec(db, sql, NULL, NULL, &err) != SQLITE_OK) {
    fprintf(stderr, "%s: %s\n", argv[2], err ? err : "error");
    sqlite3_close(db);
    remove(argv[1]);
    return 1;
  }
  free(sql);
  return sqlite3_close(db) == SQLITE_OK ? 0 : 1;
}
