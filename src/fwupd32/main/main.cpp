// Program entry: the dispatch is added with the model table.
int main() { return 0; }
