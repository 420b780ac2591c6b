// TX_Edit
