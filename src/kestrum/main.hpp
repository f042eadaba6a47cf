// The program entry: logging, the start-up line, then the application.
#pragma once

namespace kestrum {
int main();
}
