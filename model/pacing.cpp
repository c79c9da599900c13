#include "pacing.h"

#include <algorithm>
#include <cmath>

namespace {
template <typename T> T times(T value, double factor)
{
    return std::max<T>(1, static_cast<T>(std::llround(static_cast<double>(value) * factor)));
}
} // namespace

Pacing Pacing::scaled(double factor) const
{
    Pacing result = *this;
    result.wakePauseMs = times(wakePauseMs, factor);
    result.beforeRequestMs = times(beforeRequestMs, factor);
    result.beforeResetMs = times(beforeResetMs, factor);
    result.holdAfterReadMs = times(holdAfterReadMs, factor);
    result.replyWindowMs = std::max(times(replyWindowMs, factor), std::min(replyWindowMs, kShortestReplyWindowMs));
    result.linePauseMs = times(linePauseMs, factor);
    result.retryAfterFailedMs = times(retryAfterFailedMs, factor);
    result.attemptLimitMs = times(attemptLimitMs, factor);
    result.connectTimeoutMs = times(connectTimeoutMs, factor);
    result.portWatchIntervalMs = times(portWatchIntervalMs, factor);
    result.returnedPortBootGraceMs = times(returnedPortBootGraceMs, factor);
    result.serverTimeoutMs = times(serverTimeoutMs, factor);
    result.outboxFirstRetryMs = times(outboxFirstRetryMs, factor);
    result.outboxLongestRetryMs = times(outboxLongestRetryMs, factor);
    result.sleepConfirmMs = times(sleepConfirmMs, factor);
    result.portLostGraceMs = times(portLostGraceMs, factor);
    result.restartAfterWriteMs = times(restartAfterWriteMs, factor);
    return result;
}
