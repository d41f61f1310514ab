#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dbf/journal.h"
#include "dbf/table_index.h"
#include "platform/shared_file.h"

// Putting a table back as it was before a journal's statement, without ever writing old bytes over what
// another program has written since.
namespace vorel::dbf {

struct UndoFiles {
  SharedFile* table = nullptr;  // required
  SharedFile* memo = nullptr;   // nullptr: the memo file's regions are left as they are
  TableIndex* index = nullptr;  // nullptr: the index's regions are left as they are
};

// Undoes the journal's statement. A byte range is put back only while every byte in it is still the
// statement's (its old or its new value: the write may have stopped part-way); an appended tail is cut off
// only while all of it is still the statement's. Records another program has changed since are left as they
// are. When another program appended after the statement's own appended records, these are kept and
// completed instead (that program's record count includes them). Then the index entries of every record the
// statement wrote are made to match the records as they are now; when the index itself was changed by
// another program since, every tag is built anew from the records; an index whose bytes are put back gets a
// change counter above every value it has had, so that no reader keeps pages it read before. Every touched
// file is flushed. The caller holds the locks of the records, header, memo file and index the journal
// concerns.
UndoReport UndoStatement(const Journal& journal, const UndoFiles& files);

}  // namespace vorel::dbf
