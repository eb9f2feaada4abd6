// replaced by the first foundation module
