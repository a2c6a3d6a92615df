// A benchmark-only switch that makes fflush of the log a no-op, to measure
// what flushing every line costs without touching the tool's code.
#pragma once

namespace bench {

// While on, fflush of any stream but stdout and stderr returns 0 at once;
// the stream still writes whenever its buffer fills, and fclose drains it.
void SkipLogFlushes(bool skip);

}  // namespace bench
