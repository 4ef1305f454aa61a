// The scratch databases of the db tests (SQLite file or PostgreSQL through
// ODBC), built into this suite as well.
#include "db/DbTestSupport.cpp"
