// Starts and ends: what any console program pays before its first line.
int main() { return 0; }
