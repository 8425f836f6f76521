#include "platform/FlushAhead.h"

namespace tonvola::fs {

struct FlushAhead::Worker {};

FlushAhead::FlushAhead(const Folder & /*volume*/)
{}

FlushAhead::~FlushAhead() = default;

void FlushAhead::wrote(qint64 /*bytes*/)
{}

void FlushAhead::drop()
{}

} // namespace tonvola::fs
