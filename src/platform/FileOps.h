#pragma once

// Everything the program asks of the file system, for code that uses several parts of it.
#include "platform/Copy.h"
#include "platform/FileResult.h"
#include "platform/Listing.h"
#include "platform/Medium.h"
