#include "vectors.h"

#include <string.h>

#include "melvorin_device.h"

#define BYTES(s) (const uint8_t *)(s), sizeof(s) - 1u
#define NONE NULL, 0u

/* The networks the radio sees: one that cannot be framed of each kind among
 * them, one open network, one code page 936 SSID. */
static const mlvd_network seen[] = {
    {(const uint8_t *)"AB", 2, 50, 0},
    {(const uint8_t *)"", 0, 90, 0},
    {(const uint8_t *)"X\r\nY", 4, 80, 0},
    {(const uint8_t *)"\nZ", 2, 70, 0},
    {(const uint8_t *)"Cafe", 4, 30, 1},
    {(const uint8_t *)"\xC4\xE3", 2, 60, 0},
};
static const mlvd_network equal[] = {
    {(const uint8_t *)"A1", 2, 40, 0},
    {(const uint8_t *)"B2", 2, 40, 0},
    {(const uint8_t *)"C3", 2, 40, 0},
};

typedef struct radio {
    const mlvd_network *networks;
    unsigned count;
    char ssid[64];
    char key[80];
    int joins;
} radio;

static int networks(void *user, unsigned index, mlvd_network *out)
{
    const radio *r = (const radio *)user;
    if (index >= r->count) {
        return 0;
    }
    *out = r->networks[index];
    return 1;
}

/* A firmware's own key rule: "secret", and only for AB. */
static int key_ok(void *user, const uint8_t *ssid, size_t ssid_len, const uint8_t *key, size_t key_len)
{
    (void)user;
    return ssid_len == 2u && memcmp(ssid, "AB", 2) == 0 && key_len == 6u && memcmp(key, "secret", 6) == 0;
}

static void join(void *user, const uint8_t *ssid, size_t ssid_len, const uint8_t *key, size_t key_len)
{
    radio *r = (radio *)user;
    ++r->joins;
    memset(r->ssid, 0, sizeof r->ssid);
    memset(r->key, 0, sizeof r->key);
    memcpy(r->ssid, ssid, ssid_len < sizeof r->ssid ? ssid_len : sizeof r->ssid - 1u);
    memcpy(r->key, key, key_len < sizeof r->key ? key_len : sizeof r->key - 1u);
}

typedef struct vector {
    const char *name;
    int setup; /* SEEN, EQUAL (the `equal` networks) or OWN_KEY_RULE (`seen`, `key_ok`) */
    const uint8_t *request;
    size_t request_len;
    size_t capacity;
    const uint8_t *reply; /* NULL: no reply */
    size_t reply_len;
    const char *joined_ssid; /* NULL: no join handed on */
    const char *joined_key;
} vector;

enum { SEEN, EQUAL, OWN_KEY_RULE };

#define HEX64 "0123456789abcdefABCDEF0123456789abcdef0123456789abcdef0123456789"
#define HEX64_G "0123456789abcdefABCDEF0123456789abcdef0123456789abcdef012345678g"

static const vector vectors[] = {
    {"scan: the listable networks in the radio's order", SEEN, BYTES("\xFF\x00\x01\x01\x02"), 1472,
     BYTES("\xFF\x00\x16\x81\x03\x41\x42\x00\x32\x0D\x0A\x43\x61\x66\x65\x00\x1E\x0D\x0A\xC4\xE3\x00\x3C\x0D\x0A"
           "\x04"),
     NULL, NULL},
    {"scan: the weakest left out to fit 20 bytes", SEEN, BYTES("\xFF\x00\x01\x01\x02"), 20,
     BYTES("\xFF\x00\x0E\x81\x02\x41\x42\x00\x32\x0D\x0A\xC4\xE3\x00\x3C\x0D\x0A\x57"), NULL, NULL},
    {"scan: the two weakest left out to fit 17 bytes", SEEN, BYTES("\xFF\x00\x01\x01\x02"), 17,
     BYTES("\xFF\x00\x08\x81\x01\xC4\xE3\x00\x3C\x0D\x0A\x84"), NULL, NULL},
    {"scan: an empty list in 6 bytes", SEEN, BYTES("\xFF\x00\x01\x01\x02"), 6, BYTES("\xFF\x00\x02\x81\x00\x83"), NULL,
     NULL},
    {"scan: equal signals, the later left out", EQUAL, BYTES("\xFF\x00\x01\x01\x02"), 23,
     BYTES("\xFF\x00\x0E\x81\x02\x41\x31\x00\x28\x0D\x0A\x42\x32\x00\x28\x0D\x0A\xF5"), NULL, NULL},
    {"scan: no reply into 5 bytes", SEEN, BYTES("\xFF\x00\x01\x01\x02"), 5, NONE, NULL, NULL},
    {"join: listed network, passphrase", SEEN,
     BYTES("\xFF\x00\x0E\x02\x00\x41\x42\x0D\x0A\x70\x61\x73\x73\x77\x6F\x72\x64\x1D"), 64,
     BYTES("\xFF\x00\x03\x82\x01\x01\x87"), "AB", "password"},
    {"join: 7 characters are no key", SEEN, BYTES("\xFF\x00\x0D\x02\x00\x41\x42\x0D\x0A\x70\x61\x73\x73\x77\x6F\x72\xB8"),
     64, BYTES("\xFF\x00\x03\x82\x01\x00\x86"), NULL, NULL},
    {"join: a network the radio does not see", SEEN,
     BYTES("\xFF\x00\x10\x02\x00\x4E\x6F\x70\x65\x0D\x0A\x70\x61\x73\x73\x77\x6F\x72\x64\x2E"), 64,
     BYTES("\xFF\x00\x03\x82\x00\x01\x86"), NULL, NULL},
    {"join: an open network takes any key", SEEN, BYTES("\xFF\x00\x09\x02\x00\x43\x61\x66\x65\x0D\x0A\x78\x09"), 64,
     BYTES("\xFF\x00\x03\x82\x01\x01\x87"), "Cafe", "x"},
    {"join: 64 hexadecimal digits", SEEN, BYTES("\xFF\x00\x46\x02\x00\x41\x42\x0D\x0A" HEX64 "\xAA"), 64,
     BYTES("\xFF\x00\x03\x82\x01\x01\x87"), "AB", HEX64},
    {"join: 64 characters not all hexadecimal", SEEN, BYTES("\xFF\x00\x46\x02\x00\x41\x42\x0D\x0A" HEX64_G "\xD8"), 64,
     BYTES("\xFF\x00\x03\x82\x01\x00\x86"), NULL, NULL},
    {"join: a control character in the key", SEEN,
     BYTES("\xFF\x00\x0F\x02\x00\x41\x42\x0D\x0A\x70\x61\x73\x73\x7F\x77\x6F\x72\x64\x9D"), 64,
     BYTES("\xFF\x00\x03\x82\x01\x00\x86"), NULL, NULL},
    {"join: an empty SSID", SEEN, BYTES("\xFF\x00\x0C\x02\x00\x0D\x0A\x70\x61\x73\x73\x77\x6F\x72\x64\x98"), 64,
     BYTES("\xFF\x00\x03\x82\x00\x01\x86"), NULL, NULL},
    {"join: no reply and no join into 6 bytes", SEEN,
     BYTES("\xFF\x00\x0E\x02\x00\x41\x42\x0D\x0A\x70\x61\x73\x73\x77\x6F\x72\x64\x1D"), 6, NONE, NULL, NULL},
    {"drop: lead byte", SEEN, BYTES("\xFE\x00\x01\x01\x02"), 64, NONE, NULL, NULL},
    {"drop: checksum", SEEN, BYTES("\xFF\x00\x01\x01\x03"), 64, NONE, NULL, NULL},
    {"drop: length byte", SEEN, BYTES("\xFF\x00\x02\x01\x03"), 64, NONE, NULL, NULL},
    {"drop: unknown command", SEEN, BYTES("\xFF\x00\x01\x03\x04"), 64, NONE, NULL, NULL},
    {"drop: a list reply looping back", SEEN, BYTES("\xFF\x00\x02\x81\x00\x83"), 64, NONE, NULL, NULL},
    {"drop: another unit's online announcement", SEEN,
     BYTES("\xFF\x00\x0D\x84\x01\x02\x00\x00\x00\x41\x02\x0A\xCB\x00\x02\x00\xAE"), 64, NONE, NULL, NULL},
    {"drop: four bytes", SEEN, BYTES("\xFF\x00\x01\x01"), 64, NONE, NULL, NULL},
    {"drop: a join without 0D 0A", SEEN, BYTES("\xFF\x00\x05\x02\x00\x41\x42\x4A"), 64, NONE, NULL, NULL},
    {"drop: a join not starting with 00", SEEN,
     BYTES("\xFF\x00\x0E\x02\x01\x41\x42\x0D\x0A\x70\x61\x73\x73\x77\x6F\x72\x64\x1E"), 64, NONE, NULL, NULL},
    {"join: the firmware's key rule takes a key the built-in one does not", OWN_KEY_RULE,
     BYTES("\xFF\x00\x0C\x02\x00\x41\x42\x0D\x0A\x73\x65\x63\x72\x65\x74\x2E"), 64,
     BYTES("\xFF\x00\x03\x82\x01\x01\x87"), "AB", "secret"},
    {"join: the firmware's key rule refuses a passphrase", OWN_KEY_RULE,
     BYTES("\xFF\x00\x0E\x02\x00\x41\x42\x0D\x0A\x70\x61\x73\x73\x77\x6F\x72\x64\x1D"), 64,
     BYTES("\xFF\x00\x03\x82\x01\x00\x86"), NULL, NULL},
    {"join: an open network is not the key rule's to refuse", OWN_KEY_RULE,
     BYTES("\xFF\x00\x09\x02\x00\x43\x61\x66\x65\x0D\x0A\x78\x09"), 64, BYTES("\xFF\x00\x03\x82\x01\x01\x87"),
     "Cafe", "x"},
    {"scan: still answered after all that", SEEN, BYTES("\xFF\x00\x01\x01\x02"), 17,
     BYTES("\xFF\x00\x08\x81\x01\xC4\xE3\x00\x3C\x0D\x0A\x84"), NULL, NULL},
};

int mlvd_run_vectors(void (*fail)(const char *name, const char *what))
{
    static const mlvd_callbacks callbacks = {networks, join, NULL};
    static const mlvd_callbacks own_key_rule = {networks, join, key_ok};
    uint8_t reply[1472];
    radio r;
    mlvd_device dev;
    int failures = 0;
    unsigned replies = 0;
    unsigned i;

    memset(&r, 0, sizeof r);
    mlvd_init(&dev, &callbacks, &r);
    for (i = 0; i < sizeof vectors / sizeof vectors[0]; ++i) {
        const vector *v = &vectors[i];
        const int joins = r.joins;
        size_t size;
        r.networks = v->setup == EQUAL ? equal : seen;
        r.count = v->setup == EQUAL ? 3u : 6u;
        dev.callbacks = v->setup == OWN_KEY_RULE ? &own_key_rule : &callbacks; /* the counters go on */
        memset(reply, 0xEE, sizeof reply);
        size = mlvd_handle(&dev, v->request, v->request_len, (int)(i % 2u), reply, v->capacity);
        replies += size != 0;
        if (size != v->reply_len || (size != 0 && memcmp(reply, v->reply, size) != 0)) {
            fail(v->name, "reply");
            ++failures;
        } else if (size < sizeof reply && reply[size] != 0xEE) {
            fail(v->name, "wrote past its reply");
            ++failures;
        } else if ((v->joined_ssid != NULL) != (r.joins != joins)) {
            fail(v->name, "join handed on or not");
            ++failures;
        } else if (v->joined_ssid != NULL &&
                   (strcmp(r.ssid, v->joined_ssid) != 0 || strcmp(r.key, v->joined_key) != 0)) {
            fail(v->name, "SSID or key handed on");
            ++failures;
        }
    }
    /* The online announcement of a unit at 10.203.0.2, and its schedule:
     * sent at 0, 1, 2, 4 and 8 s. */
    {
        static const uint8_t mac[6] = {0x02, 0x00, 0x00, 0x00, 0x41, 0x02};
        static const uint8_t ipv4[4] = {10, 203, 0, 2};
        static const uint8_t online[] = {0xFF, 0x00, 0x0D, 0x84, 0x01, 0x02, 0x00, 0x00, 0x00,
                                         0x41, 0x02, 0x0A, 0xCB, 0x00, 0x02, 0x00, 0xAE};
        static const uint32_t waits[] = {0, 1000, 1000, 2000, 4000, 0, 0};
        unsigned sent;
        memset(reply, 0xEE, sizeof reply);
        if (mlvd_online(mac, ipv4, reply, MLVD_ONLINE_SIZE - 1u) != 0 ||
            mlvd_online(mac, ipv4, reply, MLVD_ONLINE_SIZE) != sizeof online || memcmp(reply, online, sizeof online) != 0 ||
            reply[sizeof online] != 0xEE) {
            fail("online announcement", "frame");
            ++failures;
        }
        for (sent = 0; sent < sizeof waits / sizeof waits[0]; ++sent) {
            if (mlvd_online_delay_ms(sent) != waits[sent]) {
                fail("online announcement", "schedule");
                ++failures;
            }
        }
    }
    if ((unsigned)dev.ignored != i - replies || dev.joins != 5u || (unsigned)(dev.scans + dev.joins + dev.refused) != replies) {
        fail("the context's counters", "counts");
        ++failures;
    }
    return failures;
}
