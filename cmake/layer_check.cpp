// The whole program of a bx_layer_check_* target: it exists to be linked, never to be run.
// Every object of one layer is linked into it with only the layers below, so that linking
// fails when the layer uses something of a layer above it.
int main() { return 0; }
