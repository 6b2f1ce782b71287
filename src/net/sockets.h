#pragma once

// The system's socket declarations (sockaddr_in, htons, inet_pton, ...) for
// the code that both systems share. Internal to the transport.

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif
