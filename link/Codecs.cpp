// placeholder, replaced by the codec implementation
