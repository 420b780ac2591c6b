// TX_Net
