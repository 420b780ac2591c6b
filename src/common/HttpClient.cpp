// HttpClient
