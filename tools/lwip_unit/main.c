/* lwip-unit: an example firmware for the device library on an embedded IP
 * stack. lwIP (its Unix port) runs its own ARP, IPv4 and UDP on a tap
 * interface, with an address of its own: no Linux socket is used. The
 * library answers on the search port; an accepted join is "connected" by
 * printing it, after the reply has gone out.
 *
 *   PRECONFIGURED_TAPIF=tap0 lwip-unit [--address A] [--port P] [--network SSID:SIGNAL[:open]]...
 *
 * The tap interface must exist and be up (lwIP only attaches to it). Run it
 * only inside a private network namespace. SIGINT or SIGTERM stops it. */
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <lwip/ip_addr.h>
#include <lwip/netif.h>
#include <lwip/pbuf.h>
#include <lwip/sys.h>
#include <lwip/tcpip.h>
#include <lwip/udp.h>
#include <netif/tapif.h>

#include <melvorin_device.h>

#define MAX_NETWORKS 16

typedef struct network {
    uint8_t ssid[32];
    uint8_t ssid_len;
    uint8_t signal;
    uint8_t open;
} network;

typedef struct unit {
    network networks[MAX_NETWORKS];
    unsigned count;
    mlvd_device device;
    /* The accepted join, copied out of the datagram. */
    int join_pending;
    char join_ssid[33];
    size_t join_key_len;
} unit;

static unit the_unit;

static int radio_networks(void *user, unsigned index, mlvd_network *out)
{
    const unit *u = (const unit *)user;
    if (index >= u->count) {
        return 0;
    }
    out->ssid = u->networks[index].ssid;
    out->ssid_len = u->networks[index].ssid_len;
    out->signal = u->networks[index].signal;
    out->open = u->networks[index].open;
    return 1;
}

static void radio_join(void *user, const uint8_t *ssid, size_t ssid_len, const uint8_t *key, size_t key_len)
{
    unit *u = (unit *)user;
    (void)key; /* a real firmware hands it to its Wi-Fi driver */
    memset(u->join_ssid, 0, sizeof u->join_ssid);
    memcpy(u->join_ssid, ssid, ssid_len < sizeof u->join_ssid ? ssid_len : sizeof u->join_ssid - 1u);
    u->join_key_len = key_len;
    u->join_pending = 1;
}

static const mlvd_callbacks callbacks = {radio_networks, radio_join, NULL};

/* On lwIP's thread, with its core locked. */
static void on_datagram(void *arg, struct udp_pcb *pcb, struct pbuf *p, const ip_addr_t *from, u16_t port)
{
    unit *u = (unit *)arg;
    uint8_t request[260]; /* longer datagrams are never requests */
    uint8_t reply[1472];
    size_t length = 0;
    size_t n;
    const int broadcast = ip_addr_isbroadcast(ip_current_dest_addr(), ip_current_netif());
    (void)port;
    if (p->tot_len <= sizeof request) {
        length = pbuf_copy_partial(p, request, p->tot_len, 0);
    }
    pbuf_free(p);
    n = mlvd_handle(&u->device, request, length, broadcast, reply, sizeof reply);
    if (n > 0) {
        struct pbuf *out = pbuf_alloc(PBUF_TRANSPORT, (u16_t)n, PBUF_RAM);
        if (out != NULL) {
            memcpy(out->payload, reply, n);
            if (udp_sendto(pcb, out, from, MLVD_REPLY_PORT) != ERR_OK) {
                fprintf(stderr, "lwip-unit: the reply to %s could not be sent\n", ipaddr_ntoa(from));
            }
            pbuf_free(out);
        }
    }
    if (u->join_pending) {
        /* After the reply: here a firmware would connect. */
        u->join_pending = 0;
        fprintf(stderr, "lwip-unit: joining \"%s\" with a key of %zu bytes\n", u->join_ssid, u->join_key_len);
    }
}

static int add_network(unit *u, const char *text)
{
    const char *colon = strchr(text, ':');
    network *net = &u->networks[u->count];
    char *end = NULL;
    long signal;
    if (u->count == MAX_NETWORKS || colon == NULL || colon == text || (size_t)(colon - text) > sizeof net->ssid) {
        return 0;
    }
    signal = strtol(colon + 1, &end, 10);
    if (end == colon + 1 || signal < 0 || signal > 100 || (*end != '\0' && strcmp(end, ":open") != 0)) {
        return 0;
    }
    net->ssid_len = (uint8_t)(colon - text);
    memcpy(net->ssid, text, net->ssid_len);
    net->signal = (uint8_t)signal;
    net->open = *end != '\0';
    ++u->count;
    return 1;
}

static void ready(void *arg)
{
    sys_sem_signal((sys_sem_t *)arg);
}

int main(int argc, char **argv)
{
    static struct netif netif;
    ip4_addr_t address, mask, gateway;
    const char *address_text = "192.168.4.1";
    long search_port = MLVD_SEARCH_PORT;
    struct udp_pcb *pcb;
    sys_sem_t started;
    sigset_t stop;
    int i, signal_number;

    for (i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--address") == 0 && i + 1 < argc) {
            address_text = argv[++i];
        } else if (strcmp(argv[i], "--port") == 0 && i + 1 < argc) {
            search_port = strtol(argv[++i], NULL, 10);
        } else if (strcmp(argv[i], "--network") == 0 && i + 1 < argc) {
            if (!add_network(&the_unit, argv[++i])) {
                fprintf(stderr, "lwip-unit: bad network \"%s\" (SSID:SIGNAL[:open], 1 to 32 bytes, 0 to 100)\n", argv[i]);
                return 2;
            }
        } else {
            fprintf(stderr, "usage: PRECONFIGURED_TAPIF=TAP lwip-unit [--address A] [--port P] "
                            "[--network SSID:SIGNAL[:open]]...\n");
            return 2;
        }
    }
    if (!ip4addr_aton(address_text, &address) || search_port < 1 || search_port > 65535 ||
        getenv("PRECONFIGURED_TAPIF") == NULL) {
        fprintf(stderr, "lwip-unit: needs PRECONFIGURED_TAPIF, a valid --address and --port\n");
        return 2;
    }
    if (the_unit.count == 0) {
        add_network(&the_unit, "HomeNet:80");
        add_network(&the_unit, "Cafe:35:open");
    }
    mlvd_init(&the_unit.device, &callbacks, &the_unit);

    /* lwIP's threads start with these signals blocked; main waits for them. */
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, NULL);

    sys_sem_new(&started, 0);
    tcpip_init(ready, &started);
    sys_sem_wait(&started);

    IP4_ADDR(&mask, 255, 255, 255, 0);
    ip4_addr_set_zero(&gateway);
    LOCK_TCPIP_CORE();
    netif_add(&netif, &address, &mask, &gateway, NULL, tapif_init, tcpip_input);
    netif_set_default(&netif);
    netif_set_up(&netif);
    pcb = udp_new();
    if (pcb == NULL || udp_bind(pcb, IP_ANY_TYPE, (u16_t)search_port) != ERR_OK) {
        UNLOCK_TCPIP_CORE();
        fprintf(stderr, "lwip-unit: cannot bind UDP port %ld\n", search_port);
        return 1;
    }
    ip_set_option(pcb, SOF_BROADCAST);
    udp_recv(pcb, on_datagram, &the_unit);
    UNLOCK_TCPIP_CORE();

    fprintf(stderr, "lwip-unit: %s on %s, listening on port %ld with %u networks\n", address_text,
            getenv("PRECONFIGURED_TAPIF"), search_port, the_unit.count);
    sigwait(&stop, &signal_number);
    fprintf(stderr, "lwip-unit: stopped\n");
    return 0;
}
