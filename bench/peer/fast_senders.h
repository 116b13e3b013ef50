#pragma once

#include <string>

// Load generators that must outrun the receivers they feed.
namespace ralvek::bench {

// `count` TCP connections from 127.0.0.<first>.. (one thread each) to `to` ("address:port"; with
// `port_per_site` connection i goes to port + i), each sending pbxsim's numbered 120-byte records
// as fast as the receiver takes them: the records are built once in a 2048-record buffer, only
// their numbers are rewritten between sends of the whole buffer. After `seconds` each connection
// shuts down its sending side and waits for the receiver to close. Prints "<source> sent <n>"
// per connection; returns 0 when every connection was closed by the receiver.
int run_tcp_flood(const std::string& to, int first, int count, double seconds, bool port_per_site);

// `count` UDP sites at 127.0.0.<first>.. sending numbered 120-byte records, one a datagram, in
// turn, `rate` datagrams a second in all, for `seconds`. Prints "<source> sent <n>" per site.
int run_udp_sites(const std::string& to, int first, int count, double rate, double seconds);

}  // namespace ralvek::bench
