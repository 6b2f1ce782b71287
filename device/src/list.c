/* The list reply: FF 00 <length> 81 <count>, then per network
 * <SSID> 00 <signal> 0D 0A, then the checksum. Stations find records only
 * by their 0D 0A ending, so an SSID that would make a false ending is left
 * out; when the networks do not fit the caller's buffer (or exceed 255), the
 * weakest are left out until they do, the later of two equally strong first.
 * The rest keep the radio's order. */
#include "melvorin_device.h"

#include <string.h>

#include "internal.h"

int mlvd_listable(const mlvd_network *network)
{
    size_t i;
    if (network->ssid == NULL || network->ssid_len == 0) {
        return 0;
    }
    /* The count byte before the first SSID is 0x0D for 13 networks. */
    if (network->ssid[0] == MLVD_LF) {
        return 0;
    }
    for (i = 1; i < network->ssid_len; ++i) {
        if (network->ssid[i - 1u] == MLVD_CR && network->ssid[i] == MLVD_LF) {
            return 0;
        }
    }
    return 1;
}

/* Ranking: a network is weaker than another when its signal is lower, or
 * equal with a later index. Networks at or below the cut are left out. */
typedef struct cut {
    int any;
    uint8_t signal;
    unsigned index;
} cut;

static int kept(const cut *c, const mlvd_network *net, unsigned index)
{
    return !c->any || net->signal > c->signal || (net->signal == c->signal && index < c->index);
}

size_t mlvd_list_reply(const mlvd_device *dev, uint8_t *reply, size_t capacity)
{
    mlvd_network net = {NULL, 0, 0, 0};
    cut c = {0, 0, 0};
    size_t total = MLVD_LIST_OVERHEAD;
    unsigned count = 0;
    unsigned i;
    size_t at;

    if (capacity < MLVD_LIST_OVERHEAD) {
        return 0;
    }
    for (i = 0; dev->callbacks->networks(dev->user, i, &net); ++i) {
        if (mlvd_listable(&net)) {
            total += (size_t)net.ssid_len + MLVD_RECORD_OVERHEAD;
            ++count;
        }
    }
    while (count > MLVD_MAX_RECORDS || total > capacity) {
        /* Leave out the weakest network still kept. */
        cut next = {0, 0, 0};
        uint8_t len = 0;
        for (i = 0; dev->callbacks->networks(dev->user, i, &net); ++i) {
            if (mlvd_listable(&net) && kept(&c, &net, i) && (!next.any || !kept(&next, &net, i))) {
                next.any = 1;
                next.signal = net.signal;
                next.index = i;
                len = net.ssid_len;
            }
        }
        if (!next.any) {
            break; /* the networks changed under us: write what fits */
        }
        c = next;
        total -= (size_t)len + MLVD_RECORD_OVERHEAD;
        --count;
    }

    at = 5;
    count = 0;
    for (i = 0; dev->callbacks->networks(dev->user, i, &net); ++i) {
        size_t size = (size_t)net.ssid_len + MLVD_RECORD_OVERHEAD;
        if (!mlvd_listable(&net) || !kept(&c, &net, i) || count == MLVD_MAX_RECORDS ||
            at + size + 1u > capacity) {
            continue;
        }
        memcpy(reply + at, net.ssid, net.ssid_len);
        at += net.ssid_len;
        reply[at++] = 0x00;
        reply[at++] = net.signal;
        reply[at++] = MLVD_CR;
        reply[at++] = MLVD_LF;
        ++count;
    }
    reply[3] = MLVD_CMD_LIST_REPLY;
    reply[4] = (uint8_t)count;
    mlvd_seal(reply, at + 1u);
    return at + 1u;
}
