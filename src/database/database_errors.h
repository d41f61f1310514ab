#pragma once

#include "platform/error.h"

namespace vorel {

// The connection string names no readable folder, or an option the connection cannot honour.
VOREL_DEFINE_ERROR(ConnectionError, Error);
// Rows or fields asked of a query object that is not open; the message starts with the object's name
// ("SQL: Cannot perform this operation on a closed dataset").
VOREL_DEFINE_ERROR(ClosedDatasetError, Error);
// A statement run through a path that does not suit it (a query without a result set, a command with one).
VOREL_DEFINE_ERROR(QueryError, Error);

}  // namespace vorel
