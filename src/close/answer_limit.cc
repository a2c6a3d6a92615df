#include "close/answer_limit.h"

#ifndef TESMARINDS_ANSWER_LIMIT_S
#error "TESMARINDS_ANSWER_LIMIT_S must give the limit in seconds"
#endif  // TESMARINDS_ANSWER_LIMIT_S

const winsys::DWORD kAnswerLimitMs = TESMARINDS_ANSWER_LIMIT_S * 1000U;
