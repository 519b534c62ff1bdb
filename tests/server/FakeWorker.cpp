// A stand-in for the server's verify worker (--verify-command), for the
// tests of what the server does with a worker that misbehaves. What it does
// is chosen by the first word of the replay it is sent:
//   crash    dies of a segmentation fault
//   hang     sleeps, reading nothing
//   spin     burns CPU time
//   memory   takes memory until none is left to take (then aborts)
//   garbage  says something that is not a verdict
//   flood    says far more than any verdict
//   fail     exits with status 3, saying nothing
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

int main() {
    std::string in;
    char chunk[4096];
    ssize_t n;
    while (in.size() < 64 && (n = read(STDIN_FILENO, chunk, sizeof chunk)) > 0)
        in.append(chunk, static_cast<size_t>(n));
    auto is = [&](const char* word) { return in.rfind(word, 0) == 0; };
    if (is("crash")) raise(SIGSEGV);
    if (is("hang")) sleep(1000);
    if (is("spin")) {
        volatile unsigned long x = 0;
        for (;;) x = x + 1;
    }
    if (is("memory")) {
        std::vector<char*> blocks;
        for (;;) {
            char* b = static_cast<char*>(std::malloc(16 << 20));
            if (b == nullptr) std::abort();
            std::memset(b, 1, 16 << 20);
            blocks.push_back(b);
        }
    }
    if (is("garbage")) std::printf("<html>no verdict here</html>\n");
    if (is("flood"))
        for (int i = 0; i < 100000; ++i) std::printf("xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\n");
    if (is("fail")) return 3;
    return 0;
}
