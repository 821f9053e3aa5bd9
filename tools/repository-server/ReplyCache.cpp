#include "ReplyCache.h"

#include "ServerLimits.h"

bool ReplyCache::find(const QByteArray& key, quint64 generation, QByteArray* body) const
{
    const std::lock_guard<std::mutex> lock(mutex);
    const auto it = entries.constFind(key);
    if (it == entries.cend() || it->generation != generation)
        return false;
    *body = it->body;
    return true;
}

void ReplyCache::keep(const QByteArray& key, quint64 generation, const QByteArray& body)
{
    if (body.size() > serverlimits::maxCachedReplyBytes)
        return;
    const std::lock_guard<std::mutex> lock(mutex);
    const auto old = entries.constFind(key);
    if (old != entries.cend())
        bytes -= old->body.size();
    if (bytes + body.size() > serverlimits::maxCacheBytes ||
        entries.size() >= serverlimits::maxCacheEntries) {
        for (auto it = entries.begin(); it != entries.end();) {
            if (it->generation == generation) {
                ++it;
                continue;
            }
            bytes -= it->body.size();
            it = entries.erase(it);
        }
        if (bytes + body.size() > serverlimits::maxCacheBytes ||
            entries.size() >= serverlimits::maxCacheEntries) {
            entries.clear();
            bytes = 0;
        }
    }
    entries.insert(key, {generation, body});
    bytes += body.size();
}
