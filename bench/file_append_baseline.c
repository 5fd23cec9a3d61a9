/* Bare C server for the end-to-end benchmark: reads the dispatcher's TCP request stream
 * (big-endian int32 format code, int32 message type, int32 length, payload) from one
 * connection, appends each payload to one file with open, write, close per record, and answers
 * each request with the big-endian int32 1 (the answers of one read leave in one write, as the
 * dispatcher's do). No queue, no threads, no checks: the floor the dispatcher is compared with.
 * Usage: file_append_baseline PORT FILE  (serves one connection, then exits) */
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

static uint32_t be32(const unsigned char* p) {
  return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | p[3];
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: file_append_baseline PORT FILE\n");
    return 2;
  }
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  int on = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  struct sockaddr_in addr;
  memset(&addr, 0, sizeof addr);
  addr.sin_family = AF_INET;
  addr.sin_port = htons((uint16_t)atoi(argv[1]));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(listener, (struct sockaddr*)&addr, sizeof addr) != 0 || listen(listener, 4) != 0) {
    perror("bind");
    return 1;
  }
  int fd = accept(listener, NULL, NULL);
  if (fd < 0) return 1;
  size_t cap = 1 << 20, len = 0;
  unsigned char* buf = malloc(cap);
  unsigned char* answers = malloc(cap);
  for (;;) {
    if (len == cap) {
      cap *= 2;
      buf = realloc(buf, cap);
      answers = realloc(answers, cap);
    }
    ssize_t r = read(fd, buf + len, cap - len);
    if (r <= 0) break;
    len += (size_t)r;
    size_t pos = 0, nanswers = 0;
    while (len - pos >= 12) {
      uint32_t size = be32(buf + pos + 8);
      if (len - pos - 12 < size) break;
      int out = open(argv[2], O_WRONLY | O_CREAT | O_APPEND, 0644);
      if (out < 0 || write(out, buf + pos + 12, size) != (ssize_t)size) {
        perror("write");
        return 1;
      }
      close(out);
      static const unsigned char one[4] = {0, 0, 0, 1};
      memcpy(answers + 4 * nanswers++, one, 4);
      pos += 12 + size;
    }
    memmove(buf, buf + pos, len - pos);
    len -= pos;
    if (nanswers > 0 && write(fd, answers, 4 * nanswers) < 0) break;
  }
  close(fd);
  close(listener);
  return 0;
}
