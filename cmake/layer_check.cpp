// Linked with one layer's whole library and the layers below it only: the link
// fails when that layer calls into a layer above it.
int main() { return 0; }
