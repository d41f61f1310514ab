#pragma once

#include "platform/error.h"

// Failures of the table file layer. Every message names the table (or file) it concerns.
namespace vorel::dbf {

// A table file cannot be opened, read or written (missing file, I/O failure, refused write).
VOREL_DEFINE_ERROR(TableFileError, Error);
// No file of that name (in any letter case) in the folder.
VOREL_DEFINE_ERROR(TableNotFoundError, TableFileError);
// The bytes of a table or memo file contradict its own header (truncated, overrunning, impossible values).
VOREL_DEFINE_ERROR(CorruptTableError, TableFileError);
// A memo value longer than the service reads; like damage, it spoils only that value of a result.
VOREL_DEFINE_ERROR(MemoTooLargeError, CorruptTableError);
// A table with a structural index cannot be changed until its index can be kept up to date with it.
VOREL_DEFINE_ERROR(IndexedTableWriteError, TableFileError);
// Another program kept a record (or the table header) locked for longer than the configured wait.
VOREL_DEFINE_ERROR(RecordLockedError, TableFileError);

// A value that does not suit the field it is written to ("Data type mismatch", NULL into a field that does
// not accept NULL, a field name that the table does not have).
VOREL_DEFINE_ERROR(FieldValueError, Error);
// A number with more integer digits than the field can hold; nothing is written.
VOREL_DEFINE_ERROR(NumericOverflowError, FieldValueError);

}  // namespace vorel::dbf
